#pragma once
// veskator-cli run as a shell runs it, in a folder of the test's: its exit status and what it
// printed, with a signal sent to it once the test says so.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace veskator::test_support {

struct Ran {
    int status = -1;  // the exit status, or 128 and the signal
    std::string out;
    std::string err;
};

// Runs the program in `folder`; `signal` goes to it once `when` holds (asked every few
// milliseconds while it runs).
inline Ran runCli(const std::filesystem::path& folder, const std::vector<std::string>& args,
                  const std::function<bool()>& when = {}, int signal = SIGTERM) {
    std::array<int, 2> out{};
    std::array<int, 2> err{};
    if (::pipe(out.data()) != 0 || ::pipe(err.data()) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(err[0]);
        if (::chdir(folder.c_str()) != 0) ::_exit(99);
        std::vector<char*> argv{const_cast<char*>(VESKATOR_CLI)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VESKATOR_CLI, argv.data());
        ::_exit(98);
    }
    ::close(out[1]);
    ::close(err[1]);
    Ran ran;
    bool signalled = false;
    std::array<pollfd, 2> fds{{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
    for (int open = 2; open > 0;) {
        if (when && !signalled && when()) {
            ::kill(child, signal);
            signalled = true;
        }
        if (::poll(fds.data(), fds.size(), 2) <= 0) continue;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
            std::array<char, 4096> buffer{};
            const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            (i == 0 ? ran.out : ran.err).append(buffer.data(), static_cast<std::size_t>(n));
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return ran;
}

}  // namespace veskator::test_support
