// veskator-cli: its command line, and runs of several simulated devices at once on the virtual
// clock: reads saved, a refusing device reported as failed, a write verified and compared.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/device_run.h"
#include "cli/preflight.h"
#include "cli/results.h"
#include "platform/headless/headless_platform.h"
#include "platform/posix_network.h"
#include "tests/support/patient_network.h"
#include "tests/support/rig.h"
#include "tools/communicator_sim/communicator_sim.h"

namespace veskator::cli {
namespace {

using namespace std::chrono_literals;

TEST(CliOptionsTest, CommandLinesAreTakenOrRefusedWithAReason) {
    struct Case {
        std::vector<std::string_view> args;
        std::string error;  // empty: accepted
    };
    const std::array<Case, 17> cases{{
        {{"read", "10.0.0.5:4000", "-o", "a.bin"}, ""},
        {{"--json", "-j", "3", "read", "h1", "h2:7", "-o", "{host}.bin"}, ""},
        {{"read", "h1", "-o", "a.bin", "--json", "-j", "2"}, ""},
        {{"read", "h1", "h2", "-o", "same.bin"}, "several devices need {host} in the -o file name"},
        {{"read", "h1:0", "-o", "a.bin"}, "not a device address: h1:0"},
        {{"read", "h1:70000", "-o", "a.bin"}, "not a device address: h1:70000"},
        {{"read", "bad\nhost", "-o", "a.bin"},
         "a device address holds a control character: bad\nhost"},
        {{"-j", "0", "read", "h1", "-o", "a.bin"}, "--parallel: Value 0 not in range 1 to 256"},
        {{"read", "h1", "-o", "a", "-o", "b"}, "--output: At Most 1 required but received 2"},
        {{"read", "h1", "-x", "-o", "a"}, "The following argument was not expected: -x"},
        {{"write", "h1"}, "a device and a file are needed"},
        {{"diff", "a.bin"}, "diff needs two files"},
        {{"erase", "h1"}, "unknown command: erase"},
        {{"set", "h1", "h2"}, "set needs a setting: KEY=VALUE, or --from FILE.json"},
        {{"get", "h1", "NO SUCH (thing)"}, "no setting is called \"NO SUCH (thing)\""},
        {{"settings", "h1"}, "settings takes no words: it lists them all"},
        {{"diff", "a.bin", "b.bin", "-i", "fleet.txt"}, "diff takes no devices"},
    }};
    for (const Case& c : cases) {
        const auto parsed = parseCommandLine(c.args, 5000);
        const auto* error = std::get_if<std::string>(&parsed);
        EXPECT_EQ(error ? *error : std::string(), c.error) << c.args.front();
    }
    const auto options = std::get<Options>(
        parseCommandLine(std::vector<std::string_view>{"--json", "-j", "3", "read", "h1", "h2:7",
                                                       "-o", "out/{host}/{host}.bin"},
                         5000));
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.parallel, 3);
    ASSERT_EQ(options.targets.size(), 2u);
    EXPECT_EQ(outputPath(options, options.targets[0]), "out/h1_5000/h1_5000.bin");
    EXPECT_EQ(outputPath(options, options.targets[1]), "out/h2_7/h2_7.bin");
    // get: its devices, then the settings asked for, by key or label.
    const auto get = std::get<Options>(parseCommandLine(
        std::vector<std::string_view>{"get", "h1", "h2:7", "MAIL SERVER", "main.EMAIL"}, 5000));
    EXPECT_EQ(get.targets.size(), 2u);
    EXPECT_EQ(get.keys, (std::vector<std::string>{"MAIL SERVER", "main.EMAIL"}));
    const auto inventory = parseInventory("# panels\n h1 \n\nh2:7 # the old one\r\n", "f", 5000);
    const auto& listed = std::get<std::vector<Target>>(inventory);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].text(), "h1:5000");
    EXPECT_EQ(listed[1].text(), "h2:7");
    EXPECT_EQ(std::get<std::string>(parseInventory("h1:0\n", "f", 5000)),
              "f line 1: not a device address: h1:0");
    // A word after "--" is a word, not an option.
    const auto words = std::get<Options>(
        parseCommandLine(std::vector<std::string_view>{"read", "-o", "a.bin", "--", "h1"}, 5000));
    ASSERT_EQ(words.targets.size(), 1u);
    EXPECT_EQ(words.targets[0].host, "h1");
}

class CliRunTest : public ::testing::Test {
  protected:
    CliRunTest() : dir(test_support::makeTempDir("veskator-cli")), files(dir) {
        clock.advance(std::chrono::hours(1));
        for (auto& sim : sims) {
            sim = std::make_unique<sim::CommunicatorSim>();
            if (!sim->start()) throw std::runtime_error("the simulator did not start");
        }
    }
    ~CliRunTest() override {
        for (auto& sim : sims) sim->stop();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    Target target(int i) const { return {"127.0.0.1", sims[static_cast<std::size_t>(i)]->port()}; }
    // Checked first, as the program does, then run; stop() tells when to interrupt it.
    std::vector<DeviceResult> run(const Options& options, const std::function<bool()>& stop = {}) {
        auto prepared = prepare(options, files, network, clock, [this] { pause(); });
        EXPECT_TRUE(std::holds_alternative<Prepared>(prepared)) << std::get<std::string>(prepared);
        if (!std::holds_alternative<Prepared>(prepared)) return {};
        RunReports reports;
        reports.pause = [this] { pause(); };
        reports.interrupted = stop;
        return runDevices(options, std::get<Prepared>(prepared), network, files, clock, wallClock,
                          reports);
    }
    // The first device read into device.bin, whose bytes are returned ("" when the read failed).
    std::string readFirstDevice() {
        Options read;
        read.command = Command::Read;
        read.output = "device.bin";
        read.targets = {target(0)};
        const auto results = run(read);
        if (results.empty() || !results.front().ok) return {};
        return mainwinRead(dir / "device.bin");
    }
    // What the checks before a run say, or "" when they let it go.
    std::string problemOf(const Options& options) {
        auto prepared = prepare(options, files, network, clock, [this] { pause(); });
        return std::holds_alternative<std::string>(prepared) ? std::get<std::string>(prepared) : "";
    }
    void pause() {
        clock.advance(10ms);
        std::this_thread::sleep_for(test_support::kRealYield);
    }
    std::string fileBytes(const std::string& name, std::size_t offset, std::size_t size) const {
        const std::string all = mainwinRead(dir / name);
        return all.substr(offset, size);
    }
    static std::string mainwinRead(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path dir;
    PosixFileSystem files;
    VirtualClock clock;
    FixedWallClock wallClock;
    PosixNetwork posixNetwork;
    test_support::PatientNetwork network{posixNetwork, clock};
    std::array<std::unique_ptr<sim::CommunicatorSim>, 4> sims;
};

TEST_F(CliRunTest, ReadsSeveralDevicesAtOnceAndReportsARefusingOneAsFailed) {
    sims[3]->setFault(sim::FaultMode::Refuse);
    Options options;
    options.command = Command::Read;
    options.parallel = 2;
    options.output = "{host}.bin";
    for (int i = 0; i < 4; ++i) options.targets.push_back(target(i));
    const auto results = run(options);

    ASSERT_EQ(results.size(), 4u);
    int ok = 0;
    for (const DeviceResult& r : results) {
        SCOPED_TRACE(r.target.text() + " " + r.message);
        if (r.target.port == sims[3]->port()) {
            EXPECT_FALSE(r.ok);
            EXPECT_NE(r.message.find("full read stopped at unit 0"), std::string::npos);
            continue;
        }
        ++ok;
        EXPECT_TRUE(r.ok);
        const std::string name = "127.0.0.1_" + std::to_string(r.target.port) + ".bin";
        EXPECT_EQ(mainwinRead(dir / name).size(), kWorkspaceSize);
        const auto memory = sims[0]->memory();
        EXPECT_EQ(fileBytes(name, 0, kReceiveAreaSize),
                  std::string(memory.begin(), memory.begin() + kReceiveAreaSize));
    }
    EXPECT_EQ(ok, 3);
    EXPECT_EQ(exitStatus(results), 1);
    EXPECT_NE(resultsJson(Command::Read, results, false, false).find("\"failed\":1,"),
              std::string::npos);
}

TEST_F(CliRunTest, AWrittenFileIsOnTheDeviceAndComparesEqualAfterwards) {
    // A file that differs from the device in one setting of each kind of window.
    std::string file = readFirstDevice();
    ASSERT_FALSE(file.empty());
    file[imageOffset({0, 0x30})] = '7';  // Receiver Number 1
    file[imageOffset({7, 0x3b})] = 3;    // 9.6K
    file[imageOffset({7, 0x33})] = 13;   // SOUND DETECTING LEVEL, which goes out as 12
    std::ofstream(dir / "new.bin", std::ios::binary) << file;

    Options compare;
    compare.command = Command::Compare;
    compare.files = {"new.bin"};
    compare.targets = {target(0)};
    const auto before = run(compare);
    ASSERT_TRUE(before.front().ok);
    EXPECT_EQ(before.front().comparison->settings.size(), 3u);

    Options write = compare;
    write.command = Command::Write;
    const auto written = run(write);
    ASSERT_TRUE(written.front().ok) << written.front().message;
    // The device as it was is kept, named for its address and port.
    const std::string snapshot = "program/snapshots/2026-12-08_14-03-22_127.0.0.1_" +
                                 std::to_string(target(0).port) + ".bin";
    EXPECT_EQ(written.front().message, "written, 8 of 8 blocks verified; snapshot " + snapshot);
    EXPECT_EQ(sims[0]->memory()[imageOffset({7, 0x3b})], 3);
    EXPECT_EQ(written.front().file, snapshot);
    EXPECT_EQ(mainwinRead(dir / snapshot), mainwinRead(dir / "device.bin"));

    // A device that stores A3 wrongly is named and the run fails.
    sims[1]->setCorruptOnWrite(3, false);
    write.targets = {target(1)};
    const auto corrupted = run(write);
    EXPECT_FALSE(corrupted.front().ok);
    EXPECT_NE(corrupted.front().message.find("A3 differs on the device"), std::string::npos)
        << corrupted.front().message;
    EXPECT_TRUE(run(compare).front().comparison->same());
}

// Whatever a run cannot use is found before any device is touched, and named.
TEST_F(CliRunTest, ChecksComeBeforeAnyDeviceAndNameWhatIsWrong) {
    std::ofstream(dir / "notes.txt") << "hello world!";
    std::ofstream(dir / "big.bin") << std::string(32768, 'b');
    std::ofstream(dir / "settings.json") << "{\"options/PASSWORD\": \"x\", \"nothing\": 1}";
    const auto with = [&](Command command, std::vector<Target> targets,
                          std::vector<std::string> files, std::vector<std::string> assignments = {},
                          std::string from = {}) {
        Options options;
        options.command = command;
        options.targets = std::move(targets);
        options.files = std::move(files);
        options.assignments = std::move(assignments);
        options.from = std::move(from);
        return options;
    };
    const Target localhost{"localhost", target(0).port};
    const std::pair<Options, std::string> cases[] = {
        {with(Command::Write, {target(0)}, {"notes.txt"}),
         "notes.txt holds 12 bytes; a parameter file holds 1024 or 16384"},
        {with(Command::Write, {target(0)}, {"missing.bin"}), "missing.bin cannot be read"},
        {with(Command::Compare, {target(0)}, {"big.bin"}),
         "big.bin holds more than 16384 bytes; a parameter file holds 1024 or 16384"},
        {with(Command::Read, {target(0), localhost}, {}),
         target(0).text() + " and " + localhost.text() + " are the same device (" +
             target(0).text() + ")"},
        {with(Command::Set, {target(0)}, {}, {"options/SOUND DETECTING LEVEL=51"}),
         "options/SOUND DETECTING LEVEL takes a number from 0 to 50"},
        {with(Command::Set, {target(0)}, {}, {"main/EMAIL=yes"}), "main/EMAIL takes on or off"},
        {with(Command::Set, {target(0)}, {}, {"telephone line 3=555"}),
         "dialer/telephone line 3 goes to the dialer with its upload, not with a write: set it in "
         "a parameter file"},
        {with(Command::Set, {target(0)}, {}, {}, "settings.json"),
         "no setting is called \"nothing\""},
    };
    for (const auto& [options, problem] : cases) EXPECT_EQ(problemOf(options), problem);
    // A folder of the -o name is made.
    Options read = with(Command::Read, {target(0)}, {});
    read.output = "saved/today/{host}.bin";
    EXPECT_EQ(problemOf(read), "");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "saved/today"));
    for (const auto& sim : sims) EXPECT_EQ(sim->connectionCount(), 0);
}

// Interrupted during a write of three devices: no block begins after that, and each device says
// which blocks of the file it holds; the JSON document is whole.
TEST_F(CliRunTest, AnInterruptedWriteSaysWhatEachDeviceHolds) {
    std::string file = readFirstDevice();
    ASSERT_FALSE(file.empty());
    for (std::size_t i = 0; i < kImageSize; ++i) file[i] = static_cast<char>('a' + i % 26);
    std::ofstream(dir / "site.bin", std::ios::binary) << file;
    const sim::SimMemory old = sims[1]->memory();

    Options write;
    write.command = Command::Write;
    write.files = {"site.bin"};
    write.targets = {target(0), target(1), target(2), target(3)};
    write.parallel = 3;
    const auto written = [&](int i) {
        int n = 0;
        for (const auto& e : sims[static_cast<std::size_t>(i)]->events())
            n += e.kind == sim::SimEvent::Kind::BlockWrite ? 1 : 0;
        return n;
    };
    const auto results = run(write, [&] { return written(0) >= 3; });
    ASSERT_EQ(results.size(), 4u);
    for (const DeviceResult& r : results) {
        SCOPED_TRACE(r.target.text());
        EXPECT_TRUE(r.interrupted);
        EXPECT_FALSE(r.ok);
        if (r.target.port == target(3).port) {
            EXPECT_EQ(r.message,
                      "not started: the run was interrupted before the device was touched");
            EXPECT_FALSE(r.started);
            continue;
        }
        EXPECT_TRUE(r.message.starts_with("interrupted: the device holds A0 to A")) << r.message;
        EXPECT_NE(r.message.find("of site.bin; snapshot program/snapshots/"), std::string::npos);
    }
    EXPECT_EQ(sims[3]->connectionCount(), 0);
    // The last frame went out before the run ended; the device may still be taking it in.
    ASSERT_TRUE(sims[1]->waitFor(
        [](const std::vector<sim::SimEvent>& seen) {
            const auto count = [&](sim::SimEvent::Kind kind) {
                return std::count_if(seen.begin(), seen.end(),
                                     [kind](const sim::SimEvent& e) { return e.kind == kind; });
            };
            return count(sim::SimEvent::Kind::Accepted) == count(sim::SimEvent::Kind::Closed);
        },
        std::chrono::seconds(5)));
    // Device 1 holds the blocks it was told of, and its old settings after them.
    const int held = written(1);
    ASSERT_GT(held, 0);
    ASSERT_LT(held, kBlockCount);
    const sim::SimMemory now = sims[1]->memory();
    const std::size_t split = static_cast<std::size_t>(held) * kBlockSize;
    EXPECT_EQ(std::string(now.begin(), now.begin() + split), file.substr(0, split));
    EXPECT_EQ(std::string(now.begin() + split, now.begin() + kImageSize),
              std::string(old.begin() + split, old.begin() + kImageSize));
    const auto json = nlohmann::json::parse(resultsJson(Command::Write, results, true, false));
    EXPECT_EQ(json["command"], "write");
    EXPECT_EQ(json["interrupted"], true);
    EXPECT_EQ(json["failed"], 3);  // the one never touched is not started, not failed
    EXPECT_EQ(json["notStarted"], 1);
    EXPECT_EQ(json["results"][3]["status"], "not started");
    ASSERT_EQ(json["results"].size(), 4u);
    for (const auto& device : json["results"]) EXPECT_EQ(device["interrupted"], true);
}

// One text, one option and one number on three devices: each writes exactly the blocks that hold
// them, reads them back, and get shows the new values.
TEST_F(CliRunTest, SetChangesOnlyTheNamedSettingsAndGetShowsThem) {
    Options set;
    set.command = Command::Set;
    set.targets = {target(0), target(1), target(2)};
    set.assignments = {"options/MAIL SERVER=smtp.example.org", "EMAIL=on",
                       "SOUND DETECTING LEVEL=33"};
    const auto results = run(set);
    ASSERT_EQ(results.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const DeviceResult& r = results[static_cast<std::size_t>(i)];
        SCOPED_TRACE(r.target.text());
        EXPECT_TRUE(r.ok) << r.message;
        EXPECT_TRUE(r.message.starts_with("written, 3 of 3 blocks verified; snapshot"))
            << r.message;
        EXPECT_EQ(r.changes.size(), 3u);
        EXPECT_TRUE(r.changed);
        std::vector<int> blocks;
        for (const auto& e : sims[static_cast<std::size_t>(i)]->events()) {
            if (e.kind == sim::SimEvent::Kind::BlockWrite) blocks.push_back(e.number);
        }
        EXPECT_EQ(blocks, (std::vector<int>{0, 2, 7}));
    }
    Options get;
    get.command = Command::Get;
    get.targets = {target(1)};
    const auto got = run(get);
    ASSERT_EQ(got.size(), 1u);
    const std::string listed = settingsText(got.front().settings, false);
    for (const char* line : {"options/MAIL SERVER=smtp.example.org\n", "main/EMAIL=on\n",
                             "options/SOUND DETECTING LEVEL=33\n", "options/PASSWORD=********\n"}) {
        EXPECT_NE(listed.find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace veskator::cli
