// The journal of writes as a shell meets it: a write killed half-way is named at the next start
// and in the history until the device is read again, a set that never ended is marked
// interrupted, and a journal that cannot be written stops the write before any block goes.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "model/parameter_workspace.h"
#include "model/write_journal.h"
#include "tests/cli/cli_program.h"
#include "tests/support/patient_network.h"
#include "tests/support/rig.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator::journal_program_test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using namespace std::chrono_literals;

using ProgramRun = test_support::Ran;

// SIGKILL once `killWhen` holds.
ProgramRun runProgram(const fs::path& folder, const std::vector<std::string>& args,
                      const std::function<bool()>& killWhen = {}) {
    return test_support::runCli(folder, args, killWhen, SIGKILL);
}

class JournalProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim = std::make_unique<sim::CommunicatorSim>();
        ASSERT_TRUE(sim->start());
        device = "127.0.0.1:" + std::to_string(sim->port());
        std::ofstream(dir / "site.bin", std::ios::binary) << file;
    }
    ~JournalProgramTest() override { fs::remove_all(dir); }
    std::vector<Json> entries() const {
        std::ifstream in(dir / "program/journal.jsonl");
        std::vector<Json> all;
        for (std::string line; std::getline(in, line);) all.push_back(Json::parse(line));
        return all;
    }
    int blockWrites() const {
        int n = 0;
        for (const sim::SimEvent& e : sim->events()) n += e.kind == sim::SimEvent::Kind::BlockWrite;
        return n;
    }

    fs::path dir = test_support::makeTempDir("veskator-journal-program");
    std::unique_ptr<sim::CommunicatorSim> sim;
    std::string device;
    std::string file = std::string(kWorkspaceSize, 'f');
};

// Killed after three blocks reached the device: the journal holds the write's start and its
// blocks, owner-only; the next run that touches the device says what it holds, and its read
// closes the write, which the history still shows as interrupted.
TEST_F(JournalProgramTest, AWriteKilledMidWayIsNamedAtTheNextStartUntilTheDeviceIsReadAgain) {
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun killed = runProgram(dir, {"write", device, "site.bin"}, [&] {
        return blockWrites() >= 3 || std::chrono::steady_clock::now() - start > 30s;
    });
    ASSERT_EQ(killed.status, 128 + SIGKILL);
    ASSERT_EQ(blockWrites(), 3);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "program/journal.jsonl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const std::vector<Json> written = entries();
    ASSERT_GE(written.size(), 3u);  // the start, and the blocks it saw go out before the kill
    const Json& begun = written.front();
    EXPECT_EQ(begun["entry"], "begin");
    EXPECT_EQ(begun["kind"], "load");
    EXPECT_EQ(begun["device"], device);
    EXPECT_EQ(begun["file"], "site.bin");
    EXPECT_EQ(
        begun["sha256"],
        sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size())));
    const std::string snapshot = begun["snapshot"];
    EXPECT_TRUE(snapshot.starts_with("program/snapshots/")) << snapshot;
    EXPECT_TRUE(fs::exists(dir / snapshot));
    EXPECT_EQ(begun["blocks"].size(), 8u);
    EXPECT_FALSE(begun["user"].get<std::string>().empty());
    for (std::size_t i = 1; i < written.size(); ++i) {
        EXPECT_EQ(written[i]["entry"], "block");
        EXPECT_EQ(written[i]["block"], blockName(static_cast<int>(i) - 1));
    }
    EXPECT_LE(written.size(), 4u);
    const std::string held = written.size() == 4 ? "A0 to A2" : "A0 to A1";

    const ProgramRun compare = runProgram(dir, {"compare", device, "site.bin"});
    ASSERT_EQ(compare.status, 0) << compare.err;
    const std::string told =
        "veskator-cli: interrupted: " + device + " holds " + held + " of site.bin since ";
    EXPECT_TRUE(compare.err.starts_with(told)) << compare.err;
    EXPECT_NE(compare.err.find(" (snapshot " + snapshot +
                               "); load the file again, or load the snapshot\n"),
              std::string::npos)
        << compare.err;

    // The compare read the device whole: the next run says nothing of the old write.
    const ProgramRun write = runProgram(dir, {"write", device, "site.bin"});
    ASSERT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.err.find("interrupted"), std::string::npos) << write.err;

    const ProgramRun history = runProgram(dir, {"--json", "history"});
    ASSERT_EQ(history.status, 0) << history.err;
    const Json listed = Json::parse(history.out);
    ASSERT_EQ(listed["writes"].size(), 2u);
    const Json& finished = listed["writes"][0];
    EXPECT_EQ(finished["interrupted"], false);
    EXPECT_TRUE(finished["outcome"].get<std::string>().starts_with("verified A0 to A7"))
        << finished["outcome"];
    EXPECT_EQ(finished["reached"].size(), 8u);
    const Json& cut = listed["writes"][1];
    EXPECT_EQ(cut["interrupted"], true);
    EXPECT_EQ(cut["closed_by"], "read");
    EXPECT_EQ(cut["outcome"], "interrupted (holds " + held + "), whole again by read");
}

// A set that never ended is listed as interrupted beside a finished one, newest first; the
// devices and --since choose what is listed.
TEST_F(JournalProgramTest, HistoryMarksAnUnfinishedSetInterruptedAndChoosesByDeviceAndDate) {
    const ProgramRun set =
        runProgram(dir, {"set", device, "MAIL SERVER=smtp.example.org", "options/PASSWORD=s3cret"});
    ASSERT_EQ(set.status, 0) << set.err;
    const Json done = entries().front();
    EXPECT_EQ(done["kind"], "set");
    EXPECT_EQ(done["settings"][0]["name"], "options/MAIL SERVER");
    EXPECT_EQ(done["settings"][0]["after"], "smtp.example.org");
    EXPECT_EQ(done["settings"][1]["after"].get<std::string>().find("s3cret"), std::string::npos);
    // Another run's set cut short on another device, by hand.
    std::ofstream(dir / "program/journal.jsonl", std::ios::app)
        << R"({"entry":"begin","job":"other-1","time":"2099-01-02 10:00:00","user":"ben",)"
        << R"("host":"van","device":"10.0.0.7:4000","kind":"set","snapshot":"program/s.bin",)"
        << R"("settings":[{"name":"main/EMAIL","before":"off","after":"on"}],"blocks":["A0"]})"
        << "\n"
        << R"({"entry":"block","job":"other-1","time":"2099-01-02 10:00:01","block":"A0"})"
        << "\n";

    const ProgramRun all = runProgram(dir, {"history"});
    ASSERT_EQ(all.status, 0) << all.err;
    const std::string first = all.out.substr(0, all.out.find('\n'));
    EXPECT_EQ(first,
              "2099-01-02 10:00:00  ben@van  10.0.0.7:4000  set main/EMAIL \"off\" -> \"on\" [A0]; "
              "snapshot program/s.bin  interrupted (holds A0)");
    const std::string second = all.out.substr(first.size() + 1);
    EXPECT_NE(second.find("  " + device + "  set options/MAIL SERVER \""), std::string::npos)
        << second;
    EXPECT_NE(second.find("\" -> \"smtp.example.org\", options/PASSWORD \"*"), std::string::npos)
        << second;
    EXPECT_NE(second.find("  verified A"), std::string::npos) << second;
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 2);

    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> devices;
    };
    const Case cases[] = {
        {{"10.0.0.7"}, {"10.0.0.7:4000"}},
        {{device}, {device}},
        {{"--since", "2099-01-02"}, {"10.0.0.7:4000"}},
        {{"--since", "2099-01-02 10:01"}, {}},
        {{"10.0.0.7:4001"}, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--json", "history"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramRun listed = runProgram(dir, args);
        ASSERT_EQ(listed.status, 0) << listed.err;
        std::vector<std::string> devices;
        const Json document = Json::parse(listed.out);
        for (const Json& w : document["writes"]) devices.push_back(w["device"]);
        EXPECT_EQ(devices, c.devices) << c.args.front();
    }
    EXPECT_EQ(runProgram(dir, {"history", "--since", "yesterday"}).status, 2);
}

// A journal that cannot take the entry stops the write before its first block.
TEST_F(JournalProgramTest, AJournalThatCannotBeWrittenRefusesTheWriteAndSendsNothing) {
    fs::create_directories(dir / "program/journal.jsonl");
    const ProgramRun write = runProgram(dir, {"write", device, "site.bin"});
    EXPECT_EQ(write.status, 1);
    EXPECT_NE(write.out.find("journal program/journal.jsonl cannot be written: Is a directory; "
                             "nothing was sent"),
              std::string::npos)
        << write.out;
    ASSERT_TRUE(test_support::deviceQuiet(*sim));
    EXPECT_EQ(blockWrites(), 0);
}

}  // namespace
}  // namespace veskator::journal_program_test
