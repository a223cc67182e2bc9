// veskator-cli: reads, writes and compares many communicators at once, without a window, through
// the same link engine and bounds as the programmer.

#include <chrono>
#include <iostream>
#include <thread>
#include <vector>

#include "cli/device_run.h"
#include "link/link_engine.h"
#include "model/main_fields.h"
#include "platform/posix_network.h"

namespace {

int diff(veskator::FileSystem& files, const veskator::cli::Options& options) {
    const auto outcome = veskator::cli::diffFiles(files, options.files[0], options.files[1]);
    if (const auto* error = std::get_if<std::string>(&outcome)) {
        std::cerr << "veskator-cli: " << *error << "\n";
        return 1;
    }
    const auto& comparison = std::get<veskator::SettingsComparison>(outcome);
    std::cout << (options.json
                      ? veskator::cli::diffJson(comparison)
                      : veskator::comparisonReport(comparison, options.files[0], options.files[1]));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << veskator::cli::kUsage;
            return 0;
        }
    }
    veskator::PosixFileSystem files;
    const auto portText = veskator::readFileStart(files, veskator::kClientPortFile, 64);
    const std::uint16_t defaultPort = portText ? veskator::parsePort(*portText) : 0;
    const auto parsed = veskator::cli::parseCommandLine(args, defaultPort);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "veskator-cli: " << *error << "\n" << veskator::cli::kUsage;
        return 2;
    }
    const auto& options = std::get<veskator::cli::Options>(parsed);
    if (options.command == veskator::cli::Command::Diff) return diff(files, options);

    veskator::PosixNetwork network;
    veskator::SteadyClock clock;
    veskator::SystemWallClock wallClock;
    const auto results = veskator::cli::runDevices(
        options, network, files, clock, wallClock,
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); },
        [&](const veskator::cli::DeviceResult& result) {
            if (!options.json) std::cout << veskator::cli::resultLine(result) << std::flush;
        });
    if (options.json) std::cout << veskator::cli::resultsJson(options.command, results);
    return veskator::cli::exitStatus(results);
}
