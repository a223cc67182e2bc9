// window-bench: what the windows cost, measured against the communicator simulator on loopback:
// the longest stall of the window thread while the main window shows a full read, how the options
// window opens and polls, and the window thread's processor time at rest beside each window.
// link-bench has the link's own figures. Prints one figure per line as "name value".

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "app/programmer_app.h"
#include "bench/event_loop_probe.h"
#include "dialer/dialer_receiver_dlg.h"
#include "options/options_dlg.h"
#include "platform/qt/qt_network.h"
#include "platform/qt/qt_window_system.h"
#include "resources/options_dialog_template.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace {

using namespace veskator;
using Seconds = std::chrono::duration<double>;

class NoCommands final : public CommandRunner {
  public:
    std::unique_ptr<RunningCommand> start(Command, CommandDone) override { return nullptr; }
};

// The window thread's processor time per second of wall time over 3 s, after half a second to
// settle.
double idleCpuPercent(bench::EventLoopProbe& probe) {
    const auto threadCpu = [] {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return Seconds(std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
    };
    probe.runFor(std::chrono::milliseconds(500));
    QEventLoop loop;
    QTimer::singleShot(std::chrono::seconds(3), &loop, &QEventLoop::quit);
    const Seconds cpuStart = threadCpu();
    const auto wallStart = std::chrono::steady_clock::now();
    loop.exec();
    return 100.0 * (threadCpu() - cpuStart).count() /
           Seconds(std::chrono::steady_clock::now() - wallStart).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);

    sim::CommunicatorSim device;
    if (!device.start()) {
        std::fprintf(stderr, "window-bench: the simulator did not start\n");
        return 1;
    }
    const auto dir =
        std::filesystem::temp_directory_path() / ("window-bench-" + std::to_string(::getpid()));
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
    bench::EventLoopProbe probe;

    // The window's first paint is not the read's doing.
    probe.runFor(std::chrono::milliseconds(300));
    probe.resetStall();
    // A read first: the main window then shows a device, as it does at rest in use.
    engine.requestFullRead();
    probe.runUntil(
        [&] { return !engine.status().busyWith(TransferKind::FullRead) && engine.idle(); });
    const qint64 readStall = probe.maxStallMs();

    // The options window: how long it takes to open, and the longest stall while it polls the
    // loop status for a few seconds.
    probe.runUntil([&] { return engine.settled(); });
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
    probe.resetStall();
    probe.runFor(std::chrono::seconds(4));
    const qint64 pollStall = probe.maxStallMs();
    const std::vector<sim::SimEvent> seen = device.events();
    const int polls = static_cast<int>(std::count_if(seen.begin(), seen.end(), [](const auto& e) {
        return e.kind == sim::SimEvent::Kind::Status;
    }));
    pollSwitch->click();
    options.onClosed();
    optionsDialog.reset();

    // At rest after a read, nothing typed and nothing due: with the main window alone and with
    // each other window beside it.
    probe.runUntil([&] { return engine.settled(); });
    const double idleMain = idleCpuPercent(probe);
    double idleOptions = 0;
    {
        COptionsDlg window(services, app->session());
        auto open = windows.open(window);
        idleOptions = idleCpuPercent(probe);
        window.onClosed();
    }
    double idleDialer = 0;
    {
        CDialerReceiverDlg window(services, app->session());
        auto open = windows.open(window);
        idleDialer = idleCpuPercent(probe);
        window.onClosed();
    }

    std::printf("main_window_full_read_max_stall_ms %lld\n", static_cast<long long>(readStall));
    std::printf("options_open_ms %.1f\n", optionsOpen);
    std::printf("options_polling_max_stall_ms %lld\n", static_cast<long long>(pollStall));
    std::printf("options_status_polls_in_4s %d\n", polls);
    std::printf("idle_main_window_cpu_percent %.2f\n", idleMain);
    std::printf("idle_with_options_window_cpu_percent %.2f\n", idleOptions);
    std::printf("idle_with_dialer_window_cpu_percent %.2f\n", idleDialer);
    dialog.reset();
    std::filesystem::remove_all(dir);
    return 0;
}
