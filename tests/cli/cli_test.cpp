// veskator-cli: its command line, and runs of several simulated devices at once on the virtual
// clock: reads saved, a refusing device reported as failed, a write verified and compared.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/device_run.h"
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
    const std::array<Case, 9> cases{{
        {{"read", "10.0.0.5:4000", "-o", "a.bin"}, ""},
        {{"--json", "-j", "3", "read", "h1", "h2:7", "-o", "{host}.bin"}, ""},
        {{"read", "h1", "h2", "-o", "same.bin"}, "several devices need {host} in the -o file name"},
        {{"read", "h1:0", "-o", "a.bin"}, "not a device address: h1:0"},
        {{"read", "h1:70000", "-o", "a.bin"}, "not a device address: h1:70000"},
        {{"-j", "0", "read", "h1", "-o", "a.bin"}, "-j takes 1 to 64"},
        {{"write", "h1"}, "a device and a file are needed"},
        {{"diff", "a.bin"}, "diff needs two files"},
        {{"erase", "h1"}, "unknown command: erase"},
    }};
    for (const Case& c : cases) {
        const auto parsed = parseCommandLine(c.args, 5000);
        const auto* error = std::get_if<std::string>(&parsed);
        EXPECT_EQ(error ? *error : std::string(), c.error) << c.args.front();
    }
    const auto options = std::get<Options>(
        parseCommandLine(std::vector<std::string_view>{"--json", "-j", "3", "read", "h1", "h2:7",
                                                       "-o", "out/{host}.bin"},
                         5000));
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.parallel, 3);
    ASSERT_EQ(options.targets.size(), 2u);
    EXPECT_EQ(outputPath(options, options.targets[0]), "out/h1_5000.bin");
    EXPECT_EQ(outputPath(options, options.targets[1]), "out/h2_7.bin");
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
    std::vector<DeviceResult> run(const Options& options) {
        return runDevices(options, network, files, clock, wallClock,
                          [this] {
                              clock.advance(10ms);
                              std::this_thread::sleep_for(test_support::kRealYield);
                          },
                          {});
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
    EXPECT_NE(resultsJson(Command::Read, results).find("\"failed\":1}"), std::string::npos);
}

TEST_F(CliRunTest, AWrittenFileIsOnTheDeviceAndComparesEqualAfterwards) {
    // A file that differs from the device in one setting of each kind of window.
    Options read;
    read.command = Command::Read;
    read.output = "device.bin";
    read.targets = {target(0)};
    ASSERT_TRUE(run(read).front().ok);
    std::string file = mainwinRead(dir / "device.bin");
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
    EXPECT_EQ(written.front().message, "written, 8 of 8 blocks verified");
    EXPECT_EQ(sims[0]->memory()[imageOffset({7, 0x3b})], 3);
    // The device as it was is kept, named for its address and port.
    const std::string snapshot = "program/snapshots/2026-12-08_14-03-22_127.0.0.1_" +
                                 std::to_string(target(0).port) + ".bin";
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

}  // namespace
}  // namespace veskator::cli
