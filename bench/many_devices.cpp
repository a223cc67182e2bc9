// The command line's figures: how long reading, or setting one setting on, many simulated devices
// takes, a few at once.

#include "bench/many_devices.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "cli/device_run.h"
#include "cli/preflight.h"
#include "platform/posix_network.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator::bench {

std::optional<ManyDevicesFigures> runManyDevices(int devices, int parallel,
                                                 const std::vector<std::string>& assignments) {
    std::vector<std::unique_ptr<sim::CommunicatorSim>> sims;
    cli::Options options;
    options.command = assignments.empty() ? cli::Command::Read : cli::Command::Set;
    options.assignments = assignments;
    options.parallel = parallel;
    const auto dir = std::filesystem::temp_directory_path() / "veskator-bench-many";
    std::filesystem::create_directories(dir);
    if (assignments.empty()) options.output = (dir / "{host}.bin").string();
    for (int i = 0; i < devices; ++i) {
        sims.push_back(std::make_unique<sim::CommunicatorSim>());
        if (!sims.back()->start()) return std::nullopt;
        options.targets.push_back({"127.0.0.1", sims.back()->port()});
    }
    PosixNetwork network;
    PosixFileSystem files(dir);
    SteadyClock clock;
    SystemWallClock wallClock;
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    const auto prepared = cli::prepare(options, files, network, clock, pause);
    if (!std::holds_alternative<cli::Prepared>(prepared)) return std::nullopt;
    cli::RunReports reports;
    reports.pause = pause;
    const auto start = std::chrono::steady_clock::now();
    const auto results = cli::runDevices(options, std::get<cli::Prepared>(prepared), network, files,
                                         clock, wallClock, reports);
    ManyDevicesFigures figures;
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& r : results) figures.succeeded += r.ok ? 1 : 0;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return figures;
}

}  // namespace veskator::bench
