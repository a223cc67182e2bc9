// veskator-cli as a shell runs it: its exit status, what it prints, a SIGTERM in the middle of a
// write, and settings by name in a parameter file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "model/parameter_workspace.h"
#include "tests/support/patient_network.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator {
namespace {

namespace fs = std::filesystem;

struct Ran {
    int status = -1;  // the exit status, or 128 and the signal
    std::string out;
    std::string err;
};

// Runs the program in `folder`; `signalAt` (when set) sends SIGTERM that long after the start.
Ran runCli(const fs::path& folder, const std::vector<std::string>& args,
           std::optional<std::chrono::milliseconds> signalAt = {}) {
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
    const auto start = std::chrono::steady_clock::now();
    bool signalled = false;
    std::array<pollfd, 2> fds{{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
    int open = 2;
    while (open > 0) {
        if (signalAt && !signalled && std::chrono::steady_clock::now() - start >= *signalAt) {
            ::kill(child, SIGTERM);
            signalled = true;
        }
        if (::poll(fds.data(), fds.size(), 10) <= 0) continue;
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

class CliProgramTest : public ::testing::Test {
  protected:
    ~CliProgramTest() override { fs::remove_all(dir); }
    std::string readFile(const std::string& name) const {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path dir = test_support::makeTempDir("veskator-cli-program");
};

TEST_F(CliProgramTest, SettingsByNameInAParameterFile) {
    std::ofstream(dir / "site.bin", std::ios::binary) << std::string(kWorkspaceSize, '\0');
    std::ofstream(dir / "more.json") << R"j({"main/EMAIL": true, "SIREN PERIOD (sec)": 120})j";
    const Ran set =
        runCli(dir, {"set", "site.bin", "MAIL SERVER=smtp.example.org", "options/PASSWORD=s3cret",
                     "--from", "more.json", "-o", "out/new.bin"});
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out,
              "out/new.bin: 4 settings changed\n"
              "  options/MAIL SERVER: \"\" -> \"smtp.example.org\"\n"
              "  options/PASSWORD: \"\" -> \"******\"\n"
              "  main/EMAIL: \"off\" -> \"on\"\n"
              "  options/SIREN PERIOD (sec): \"0\" -> \"120\"\n");
    EXPECT_EQ(readFile("out/new.bin").size(), kWorkspaceSize);
    EXPECT_EQ(readFile("site.bin"), std::string(kWorkspaceSize, '\0'));  // the file itself stays

    const Ran get = runCli(dir, {"get", "out/new.bin"});
    ASSERT_EQ(get.status, 0) << get.err;
    for (const char* line : {"options/MAIL SERVER=smtp.example.org\n", "options/PASSWORD=******\n",
                             "main/EMAIL=on\n", "options/SIREN PERIOD (sec)=120\n"}) {
        EXPECT_NE(get.out.find(line), std::string::npos) << line;
    }
    const Ran shown = runCli(dir, {"--json", "get", "out/new.bin", "--show-passwords"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const auto json = nlohmann::json::parse(shown.out);
    EXPECT_EQ(json["settings"]["options.password"], "s3cret");

    const Ran wrong =
        runCli(dir, {"set", "site.bin", "PASSWORD=toolongforthesixteenbytes", "-o", "x.bin"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(
        wrong.err,
        "veskator-cli: options/PASSWORD takes at most 15 characters (veskator-cli --help says "
        "more)\n");
    EXPECT_FALSE(fs::exists(dir / "x.bin"));
}

// SIGTERM while three devices are written: each says what it holds, and the JSON document is
// whole; the exit status tells the signal.
TEST_F(CliProgramTest, ASigtermDuringAWriteReportsEveryDeviceInAWholeDocument) {
    std::array<std::unique_ptr<sim::CommunicatorSim>, 3> sims;
    std::vector<std::string> args{"--json", "write"};
    for (auto& sim : sims) {
        sim = std::make_unique<sim::CommunicatorSim>();
        ASSERT_TRUE(sim->start());
        args.push_back("127.0.0.1:" + std::to_string(sim->port()));
    }
    std::string file(kWorkspaceSize, 'f');
    std::ofstream(dir / "site.bin", std::ios::binary) << file;
    args.push_back("site.bin");
    // The read takes about a second, each block write another: three blocks or so are written.
    const Ran ran = runCli(dir, args, std::chrono::milliseconds(4500));
    EXPECT_EQ(ran.status, 128 + SIGTERM) << ran.err;
    const auto json = nlohmann::json::parse(ran.out);
    EXPECT_EQ(json["interrupted"], true);
    ASSERT_EQ(json["results"].size(), 3u);
    for (const auto& device : json["results"]) {
        EXPECT_EQ(device["interrupted"], true);
        const std::string message = device["message"];
        EXPECT_TRUE(message.starts_with("interrupted: the device holds A0 to A")) << message;
    }
}

}  // namespace
}  // namespace veskator
