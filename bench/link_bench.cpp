// link-bench: how fast the link engine reads and writes a device, and how long the window thread
// is ever held while it does, measured against the communicator simulator on loopback. Prints one
// figure per line as "name value".

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "app/programmer_app.h"
#include "bench/many_devices.h"
#include "dialer/dialer_receiver_dlg.h"
#include "link/command_frame.h"
#include "model/write_journal.h"
#include "options/options_dlg.h"
#include "platform/qt/qt_command_runner.h"
#include "platform/qt/qt_network.h"
#include "platform/qt/qt_window_system.h"
#include "resources/options_dialog_template.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace {

using namespace veskator;
using Seconds = std::chrono::duration<double>;

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

class NoCommands final : public CommandRunner {
  public:
    std::unique_ptr<RunningCommand> start(Command, CommandDone) override { return nullptr; }
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
    // --fleet: the command line's figures alone, without a window.
    if (argc == 2 && std::string_view(argv[1]) == "--fleet") {
        printFleetFigures();
        return 0;
    }
    if (std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);

    sim::CommunicatorSim device;
    if (!device.start()) {
        std::fprintf(stderr, "link-bench: the simulator did not start\n");
        return 1;
    }
    const auto dir =
        std::filesystem::temp_directory_path() / ("link-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "program");
    std::ofstream(dir / "program/serverIPm.txt") << "127.0.0.1";
    std::ofstream(dir / "program/clientport.txt") << device.port();

    QtWindowSystem windows;
    SteadyClock clock;
    PosixFileSystem files(dir);
    QtNetwork network;
    NoCommands commands;
    SystemWallClock wallClock;
    Services services{clock, files, network, commands, windows, wallClock};
    // Large: the workspace alone is 16 KiB.
    auto app = std::make_unique<CProgrammerApp>(services);
    LinkEngine& engine = app->link();
    auto dialog = windows.open(app->mainWindow());

    // The window thread's longest stall: the largest gap between ticks of a 10 ms probe timer.
    QElapsedTimer sinceTick;
    qint64 maxGap = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    std::size_t longestTrace = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        maxGap = std::max(maxGap, sinceTick.restart());
        longestTrace = std::max(longestTrace, engine.texts().trace.size());
    });

    // The program's own event loop, not a spinning one: a bench that spins takes the processor
    // the simulator and the link need. A 1 ms probe sees the end and the longest stall.
    auto runUntil = [&](const std::function<bool()>& done) {
        const auto start = std::chrono::steady_clock::now();
        QEventLoop loop;
        QTimer check;
        check.setTimerType(Qt::PreciseTimer);
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done() || std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) {
                loop.quit();
            }
        });
        sinceTick.start();
        probe.start(10);
        check.start(1);
        loop.exec();
        probe.stop();
        return Seconds(std::chrono::steady_clock::now() - start).count();
    };

    // The window's first paint is not the link's doing.
    const auto warm = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    runUntil([&] { return std::chrono::steady_clock::now() >= warm; });
    maxGap = 0;

    engine.requestFullRead();
    const auto busy = [&](TransferKind kind) {
        return engine.status().busyWith(kind) || !engine.idle();
    };
    const double fullRead = runUntil([&] { return !busy(TransferKind::FullRead); });
    const qint64 readStall = maxGap;
    maxGap = 0;
    engine.requestWriteAll();
    const double writeAll = runUntil([&] { return !busy(TransferKind::WriteAll); });
    const qint64 writeStall = maxGap;
    // The same load read back: what the check of the eight blocks adds.
    maxGap = 0;
    engine.requestWriteAll(ReadBack::On);
    const double writeAllReadBack = runUntil([&] { return !busy(TransferKind::WriteAll); });
    const qint64 readBackStall = maxGap;
    const std::optional<LoadOutcome>& load = engine.status().lastLoad;
    const bool verified = load && load->readBack && load->complete();
    // What the journal adds to each block write (in the figures above already): a load's start,
    // its eight blocks and its end, each on the disk before it returns, shared among the blocks.
    const double journalPerBlock = [&] {
        WriteJournal journal(files, wallClock, thisAuthor(), "./program/bench-journal.jsonl");
        constexpr int kLoads = 20;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kLoads; ++i) {
            const auto begun = journal.begin({"load", engine.target(), "site.bin", "", "", {}, {}});
            for (int b = 0; b < kBlockCount; ++b) journal.blockReached(begun.id, blockName(b));
            journal.ended(begun.id, {"verified", {}, {}, {}});
        }
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                   .count() /
               (kLoads * kBlockCount);
    }();

    // A device that streams a greeting without end: the longest the window thread is held.
    runUntil([&] { return engine.settled(); });  // the last poll has ended
    device.setFault(sim::FaultMode::EndlessGreeting);
    engine.clearError();
    engine.requestExchange(kCodeStatus);
    maxGap = 0;
    longestTrace = 0;
    const double endless = runUntil([&] { return !engine.status().lastError.empty(); });
    const qint64 endlessStall = maxGap;
    device.setFault(sim::FaultMode::None);

    // The options window: how long it takes to open, and the longest stall while it polls the
    // loop status for a few seconds.
    COptionsDlg options(services, app->session());
    const auto openStart = std::chrono::steady_clock::now();
    auto optionsDialog = windows.open(options);
    const double optionsOpen =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - openStart)
            .count();
    auto* pollSwitch =
        qobject_cast<QAbstractButton*>(optionsDialog->control(options_ids::kReadLoopStatus));
    device.clearEvents();
    pollSwitch->click();
    maxGap = 0;
    const auto pollEnd = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    runUntil([&] { return std::chrono::steady_clock::now() >= pollEnd; });
    const qint64 pollStall = maxGap;
    const std::vector<sim::SimEvent> seen = device.events();
    const int polls = static_cast<int>(std::count_if(seen.begin(), seen.end(), [](const auto& e) {
        return e.kind == sim::SimEvent::Kind::Status;
    }));
    pollSwitch->click();
    options.onClosed();
    optionsDialog.reset();

    // At rest after a read, nothing typed and nothing due: the window thread's processor time per
    // second of wall time, with the main window alone and with each other window beside it.
    const auto idleCpuPercent = [&] {
        const auto threadCpu = [] {
            timespec t{};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return Seconds(std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
        };
        const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        runUntil([&] { return std::chrono::steady_clock::now() >= settle; });
        QEventLoop loop;
        QTimer::singleShot(std::chrono::seconds(3), &loop, &QEventLoop::quit);
        const Seconds cpuStart = threadCpu();
        const auto wallStart = std::chrono::steady_clock::now();
        loop.exec();
        return 100.0 * (threadCpu() - cpuStart).count() /
               Seconds(std::chrono::steady_clock::now() - wallStart).count();
    };
    runUntil([&] { return engine.settled(); });
    const double idleMain = idleCpuPercent();
    double idleOptions = 0;
    {
        COptionsDlg window(services, app->session());
        auto open = windows.open(window);
        idleOptions = idleCpuPercent();
        window.onClosed();
    }
    double idleDialer = 0;
    {
        CDialerReceiverDlg window(services, app->session());
        auto open = windows.open(window);
        idleDialer = idleCpuPercent();
        window.onClosed();
    }

    std::printf("full_read_s %.3f\n", fullRead);
    std::printf("floor_full_read_s %.3f\n", floorFullRead(device.port()));
    std::printf("write_all_s %.3f\n", writeAll);
    std::printf("journal_per_block_write_ms %.3f\n", journalPerBlock);
    std::printf("write_all_read_back_s %.3f\n", writeAllReadBack);
    std::printf("read_back_adds_s %.3f\n", writeAllReadBack - writeAll);
    std::printf("read_back_verified_all %d\n", verified ? 1 : 0);
    std::printf("max_stall_ms %lld\n",
                static_cast<long long>(std::max({readStall, writeStall, readBackStall})));
    std::printf("full_read_complete %d\n", app->state().holdsDeviceData() ? 1 : 0);
    std::printf("options_open_ms %.1f\n", optionsOpen);
    std::printf("options_polling_max_stall_ms %lld\n", static_cast<long long>(pollStall));
    std::printf("options_status_polls_in_4s %d\n", polls);
    std::printf("endless_greeting_given_up_s %.3f\n", endless);
    std::printf("endless_greeting_max_stall_ms %lld\n", static_cast<long long>(endlessStall));
    std::printf("endless_greeting_longest_trace_bytes %zu\n", longestTrace);
    std::printf("idle_main_window_cpu_percent %.2f\n", idleMain);
    std::printf("idle_with_options_window_cpu_percent %.2f\n", idleOptions);
    std::printf("idle_with_dialer_window_cpu_percent %.2f\n", idleDialer);
    printFleetFigures();
    dialog.reset();
    std::filesystem::remove_all(dir);
    return 0;
}
