// The figures come from the real program in a process of its own, so its peak memory is its own
// and not the bench's windows'.

#include "bench/many_devices.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>

namespace veskator::bench {
namespace {

// Starts `argv` in `folder` with its standard output on a pipe, which is returned.
pid_t spawn(const std::vector<std::string>& args, const std::string& folder, int& output) {
    std::array<int, 2> pipe{};
    if (::pipe(pipe.data()) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipe[1], 1);
        ::close(pipe[0]);
        ::close(pipe[1]);
        if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(99);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv.front(), argv.data());
        ::_exit(98);
    }
    ::close(pipe[1]);
    output = pipe[0];
    if (child < 0) ::close(pipe[0]);
    return child;
}

std::string readAll(int fd) {
    std::string text;
    std::array<char, 65536> buffer{};
    for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) {
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

}  // namespace

SimulatedFleet::SimulatedFleet(int devices) {
    int output = -1;
    m_pid = spawn({COMMUNICATOR_SIM, "--quiet", "--devices", std::to_string(devices)}, "", output);
    if (m_pid < 0) return;
    FILE* lines = ::fdopen(output, "r");
    std::array<char, 128> line{};
    while (static_cast<int>(m_targets.size()) < devices &&
           std::fgets(line.data(), line.size(), lines) != nullptr) {
        unsigned port = 0;
        if (std::sscanf(line.data(), "listening 127.0.0.1 %u", &port) == 1) {
            m_targets.push_back("127.0.0.1:" + std::to_string(port));
        }
    }
    std::fclose(lines);
    if (static_cast<int>(m_targets.size()) < devices) m_targets.clear();
}

SimulatedFleet::~SimulatedFleet() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
}

std::optional<ManyDevicesFigures> runOnFleet(const SimulatedFleet& fleet, int parallel,
                                             const std::vector<std::string>& args) {
    if (fleet.targets().empty()) return std::nullopt;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("veskator-bench-fleet-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::vector<std::string> argv{VESKATOR_CLI, "--json", "-j", std::to_string(parallel)};
    argv.insert(argv.end(), args.begin(), args.end());
    // The devices after the command's own words: set's settings are found among them as well.
    argv.insert(argv.begin() + 5, fleet.targets().begin(), fleet.targets().end());
    int output = -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = spawn(argv, folder.string(), output);
    if (child < 0) return std::nullopt;
    const std::string json = readAll(output);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    ManyDevicesFigures figures;
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.peakKilobytes = usage.ru_maxrss;
    constexpr std::string_view kOk = "\"status\":\"ok\"";
    for (std::size_t at = json.find(kOk); at != std::string::npos; at = json.find(kOk, at + 1)) {
        ++figures.succeeded;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return figures;
}

}  // namespace veskator::bench
