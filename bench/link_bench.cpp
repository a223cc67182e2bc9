// link-bench: how fast the link engine reads and writes a device, what the journal adds, and how
// long the thread it runs on is ever held, measured against the communicator simulator on
// loopback; with --fleet, the command line's figures for many devices. The engine runs on Qt's
// event loop and network as in the windowed program, but no window is built: window-bench has the
// windows' figures. Prints one figure per line as "name value".

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

#include "bench/event_loop_probe.h"
#include "bench/many_devices.h"
#include "link/command_frame.h"
#include "link/journal_observer.h"
#include "link/link_engine.h"
#include "link/link_logs.h"
#include "model/programmer_state.h"
#include "model/write_journal.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/qt/qt_network.h"
#include "platform/wall_clock.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace {

using namespace veskator;
using Seconds = std::chrono::duration<double>;

// The session's link tick period: the engine is paced as the windowed program paces it.
constexpr std::chrono::milliseconds kTickPeriod{10};

// The protocol's floor for a full read: the pause after connecting plus 64 round trips, with the
// round trip measured by a plain blocking client.
double floorFullRead(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return 0;
    }
    std::array<std::uint8_t, 256> buffer{};
    (void)::recv(fd, buffer.data(), buffer.size(), 0);  // the greeting
    ParameterWorkspace unused;
    const auto start = std::chrono::steady_clock::now();
    for (int unit = 0; unit < kReadUnitCount; ++unit) {
        FrameBuffer frame{};
        const int length = BuildCommandFrame(frame, readCodeForUnit(unit), unused);
        (void)::send(fd, frame.data(), static_cast<std::size_t>(length), MSG_NOSIGNAL);
        std::size_t got = 0;
        while (got < kReadUnitSize) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
    }
    const Seconds trips = std::chrono::steady_clock::now() - start;
    ::close(fd);
    return Seconds(kPauseAfterConnect).count() + trips.count();
}

// Ticks the engine as the window's session does, with no window: at the tick period while it
// polls, at its deadline when that is all it waits for, at once for a request or news on the
// socket, and not at all while it is settled. `afterTick` sees the engine after each tick, as the
// windows the session wakes do.
class EngineDriver {
  public:
    EngineDriver(LinkEngine& engine, const Clock& clock, std::function<void()> afterTick)
        : m_engine(engine), m_clock(clock), m_afterTick(std::move(afterTick)) {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        // From the event loop, never inside the request or the socket's call.
        m_engine.setOnRequest([this] { m_timer.start(std::chrono::milliseconds{0}); });
        m_engine.setTickSoon([this] { m_timer.start(std::chrono::milliseconds{0}); });
    }
    ~EngineDriver() {
        m_engine.setTickSoon(nullptr);
        m_engine.setOnRequest(nullptr);
    }
    EngineDriver(const EngineDriver&) = delete;
    EngineDriver& operator=(const EngineDriver&) = delete;

  private:
    void tick() {
        m_engine.tick();
        m_afterTick();
        if (const std::optional<Clock::TimePoint> next = m_engine.nextTick()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - m_clock.now());
            m_timer.start(std::max(wait, kTickPeriod));
        }
    }

    LinkEngine& m_engine;
    const Clock& m_clock;
    std::function<void()> m_afterTick;
    QTimer m_timer;
};

// A fleet of 200 devices: a read of each, then a set of one setting, a few or all at once. Each
// set names a mail server the devices do not hold yet, so every device is written.
void printFleetFigures() {
    constexpr int kFleet = 200;
    const veskator::bench::SimulatedFleet fleet(kFleet);
    for (const int parallel : {8, 64, 200}) {
        const std::string at = std::to_string(kFleet) + "_devices_j" + std::to_string(parallel);
        if (const auto read =
                veskator::bench::runOnFleet(fleet, parallel, {"read", "-o", "{host}.bin"})) {
            std::printf("cli_read_%s_s %.3f\n", at.c_str(), read->seconds);
            std::printf("cli_read_%s_peak_mb %.1f\n", at.c_str(),
                        static_cast<double>(read->peakKilobytes) / 1024.0);
            std::printf("cli_read_%s_succeeded %d\n", at.c_str(), read->succeeded);
        }
        const std::string server =
            "options.mail_server=smtp" + std::to_string(parallel) + ".example.org";
        if (const auto set = veskator::bench::runOnFleet(fleet, parallel, {"set", server})) {
            std::printf("cli_set_1_setting_%s_s %.3f\n", at.c_str(), set->seconds);
            std::printf("cli_set_1_setting_%s_peak_mb %.1f\n", at.c_str(),
                        static_cast<double>(set->peakKilobytes) / 1024.0);
            std::printf("cli_set_%s_succeeded %d\n", at.c_str(), set->succeeded);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // --fleet: the command line's figures alone.
    if (argc == 2 && std::string_view(argv[1]) == "--fleet") {
        printFleetFigures();
        return 0;
    }
    QCoreApplication application(argc, argv);

    sim::CommunicatorSim device;
    if (!device.start()) {
        std::fprintf(stderr, "link-bench: the simulator did not start\n");
        return 1;
    }
    const auto dir =
        std::filesystem::temp_directory_path() / ("link-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "program");

    // What the window's session holds for the link: the model, the logs, the journal of writes
    // as the engine's observer, all on the program's own files.
    SteadyClock clock;
    PosixFileSystem files(dir);
    QtNetwork network;
    SystemWallClock wallClock;
    // Large: the workspace alone is 16 KiB.
    auto state = std::make_unique<ProgrammerState>();
    LinkLogFiles logs(files);
    logs.start();
    WriteJournal writeJournal(files, wallClock, thisAuthor());
    JournalObserver journalObserver(writeJournal, *state);
    auto engine = std::make_unique<LinkEngine>(*state, network, clock, &logs);
    engine->setWriteObserver(&journalObserver);
    engine->setTarget({"127.0.0.1", device.port()});
    // The longest trace a window would have shown.
    std::size_t longestTrace = 0;
    EngineDriver driver(*engine, clock, [&] {
        longestTrace = std::max(longestTrace, engine->texts().trace.size());
    });
    bench::EventLoopProbe probe;

    engine->requestFullRead();
    const auto busy = [&](TransferKind kind) {
        return engine->status().busyWith(kind) || !engine->idle();
    };
    const double fullRead = probe.runUntil([&] { return !busy(TransferKind::FullRead); });
    const qint64 readStall = probe.maxStallMs();
    probe.resetStall();
    engine->requestWriteAll();
    const double writeAll = probe.runUntil([&] { return !busy(TransferKind::WriteAll); });
    const qint64 writeStall = probe.maxStallMs();
    // The same load read back: what the check of the eight blocks adds.
    probe.resetStall();
    engine->requestWriteAll(ReadBack::On);
    const double writeAllReadBack = probe.runUntil([&] { return !busy(TransferKind::WriteAll); });
    const qint64 readBackStall = probe.maxStallMs();
    const std::optional<LoadOutcome>& load = engine->status().lastLoad;
    const bool verified = load && load->readBack && load->complete();
    // What the journal adds to each block write (in the figures above already): a load's start,
    // its eight blocks and its end, each on the disk before it returns, shared among the blocks.
    const double journalPerBlock = [&] {
        WriteJournal journal(files, wallClock, thisAuthor(), "./program/bench-journal.jsonl");
        constexpr int kLoads = 20;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kLoads; ++i) {
            const auto begun =
                journal.begin({"load", engine->target(), "site.bin", "", "", {}, {}});
            for (int b = 0; b < kBlockCount; ++b) journal.blockReached(begun.id, blockName(b));
            journal.ended(begun.id, {"verified", {}, {}, {}});
        }
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                   .count() /
               (kLoads * kBlockCount);
    }();

    // A device that streams a greeting without end: the longest the thread is held.
    probe.runUntil([&] { return engine->settled(); });  // the last poll has ended
    device.setFault(sim::FaultMode::EndlessGreeting);
    engine->clearError();
    engine->requestExchange(kCodeStatus);
    probe.resetStall();
    longestTrace = 0;
    const double endless = probe.runUntil([&] { return !engine->status().lastError.empty(); });
    const qint64 endlessStall = probe.maxStallMs();
    device.setFault(sim::FaultMode::None);

    std::printf("full_read_s %.3f\n", fullRead);
    std::printf("floor_full_read_s %.3f\n", floorFullRead(device.port()));
    std::printf("write_all_s %.3f\n", writeAll);
    std::printf("journal_per_block_write_ms %.3f\n", journalPerBlock);
    std::printf("write_all_read_back_s %.3f\n", writeAllReadBack);
    std::printf("read_back_adds_s %.3f\n", writeAllReadBack - writeAll);
    std::printf("read_back_verified_all %d\n", verified ? 1 : 0);
    std::printf("max_stall_ms %lld\n",
                static_cast<long long>(std::max({readStall, writeStall, readBackStall})));
    std::printf("full_read_complete %d\n", state->holdsDeviceData() ? 1 : 0);
    std::printf("endless_greeting_given_up_s %.3f\n", endless);
    std::printf("endless_greeting_max_stall_ms %lld\n", static_cast<long long>(endlessStall));
    std::printf("endless_greeting_longest_trace_bytes %zu\n", longestTrace);
    printFleetFigures();
    std::filesystem::remove_all(dir);
    return 0;
}
