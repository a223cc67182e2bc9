// veskator-cli as a shell runs it: its exit status, what it prints, a SIGTERM in the middle of a
// write, and settings by name in a parameter file.

#include "tests/cli/cli_program.h"

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

using test_support::Ran;
using test_support::runCli;

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
    const auto start = std::chrono::steady_clock::now();
    const Ran ran = runCli(dir, args, [start] {
        return std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(4500);
    });
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

// Simulated devices on loopback for the fleet's runs, with what each was sent.
class CliFleetTest : public CliProgramTest {
  protected:
    CliFleetTest() {
        for (auto& sim : sims) {
            sim = std::make_unique<sim::CommunicatorSim>();
            if (!sim->start()) throw std::runtime_error("the simulator did not start");
        }
    }
    std::string device(int i) const {
        return "127.0.0.1:" + std::to_string(sims[static_cast<std::size_t>(i)]->port());
    }
    int blockWrites(int i) const {
        int n = 0;
        for (const auto& e : sims[static_cast<std::size_t>(i)]->events())
            n += e.kind == sim::SimEvent::Kind::BlockWrite ? 1 : 0;
        return n;
    }
    std::size_t snapshots() const {
        const fs::path folder = dir / "program/snapshots";
        if (!fs::exists(folder)) return 0;
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
    std::array<std::unique_ptr<sim::CommunicatorSim>, 2> sims;
};

// Every value a kind cannot hold, and every other mistake of a command line, is a usage error
// before any device is touched: the simulators never see a connection.
TEST_F(CliFleetTest, ABadValueOfEveryKindIsRefusedBeforeAnyDeviceIsTouched) {
    std::ofstream(dir / "bad.txt") << "# fleet\n" << device(0) << "\nnot a device\n";
    struct Case {
        std::vector<std::string> words;  // after "set DEVICE"
        std::string error;
    };
    // clang-format off
    const std::vector<Case> cases{
        {{"options.password=sixteen-or-more!"},     "options/PASSWORD takes at most 15 characters"},
        {{"options.subject=5 \xe2\x82\xac"},        "options/SUBJECT takes characters of latin-1 only"},
        {{"options.subject=caf\xe9"},               "options/SUBJECT takes characters of latin-1 only"},
        {{"dialer.startup_delay_in_seconds=3O"}, "takes decimal digits only"},
        {{"options.smtp_port_number_like_25_80_or_587=70000"}, "takes a port: decimal digits, 1 to 65535"},
        {{"main.ip_port_number_1=0"},               "takes a port"},
        {{"main.server_ip_address_1=999.1.1.1"},    "takes a host name with its domain or a dotted IPv4"},
        {{"main.server_ip_address_2=hello"},        "takes a host name with its domain"},
        {{"main.email=yes"},                        "main/EMAIL takes on or off"},
        {{"options.sound_detecting_level=51"},      "takes a number from 0 to 50"},
        {{"options.test_rate_in_0_512_sec=3"},      "takes an even number from 0 to 510"},
        {{"options.test_rate_in_0_512_sec=512"},    "takes a number from 0 to 510"},
        {{"dialer.rs232_baud_rate=300"},            "takes one of: 1.2K, 2.4K"},
        {{"main.my_mac_address=001122334455"},      "main/my MAC Address is shown only"},
        {{"options.alarm_detected_click_to_clear_loop1=on"}, "can only be cleared (off)"},
        {{"dialer.telephone_line_3=555"},           "goes to the dialer with its upload"},
        {{"options.no_such_thing=1"},               "no setting is called \"options.no_such_thing\""},
                {{"options.password=******"},               "would be all stars"},
        {{"MAIL SERVER=a", "options.mail_server=b"}, "options/MAIL SERVER is set twice"},
        {{"no.such.host.invalid:4000", "EMAIL=on"}, "cannot resolve no.such.host.invalid"},
        {{"EMAIL=on", "-j", "257"},                 "--parallel: Value 257 not in range 1 to 256"},
        {{"EMAIL=on", "-i", "bad.txt"},             "bad.txt line 3 holds more than one device"},
        {{"EMAIL=on", "-i", "missing.txt"},         "missing.txt cannot be read"},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::vector<std::string> args{"set", device(0)};
        args.insert(args.end(), c.words.begin(), c.words.end());
        SCOPED_TRACE(c.words.front());
        const Ran ran = runCli(dir, args);
        EXPECT_EQ(ran.status, 2) << ran.out;
        EXPECT_NE(ran.err.find(c.error), std::string::npos) << ran.err;
        EXPECT_EQ(ran.out, "");
    }
    // Under --json the error is a document on standard output.
    const Ran json = runCli(dir, {"--json", "set", device(1), "main.email=yes"});
    EXPECT_EQ(json.status, 2);
    const auto document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["ok"], false);
    EXPECT_EQ(document["error"], "main/EMAIL takes on or off");
    for (const auto& sim : sims) EXPECT_EQ(sim->connectionCount(), 0);
}

// A check says what would change and sends no write; the set writes and keeps a snapshot; the same
// set again finds the devices holding the values and leaves them alone.
TEST_F(CliFleetTest, ACheckWritesNothingASetWritesAndTheSameSetAgainLeavesTheDevicesAlone) {
    const std::vector<std::string> values{"options.mail_server=smtp.fleet.example",
                                          "options/PASSWORD=s3cret", "main.email=on"};
    std::vector<std::string> args{"--json", "set", device(0), device(1)};
    args.insert(args.end(), values.begin(), values.end());
    std::vector<std::string> check = args;
    check.push_back("--check");
    const Ran checked = runCli(dir, check);
    ASSERT_EQ(checked.status, 0) << checked.err;
    const auto would = nlohmann::json::parse(checked.out);
    ASSERT_EQ(would["results"].size(), 2u);
    for (const auto& r : would["results"]) {
        EXPECT_EQ(r["changed"], true);
        EXPECT_EQ(r["message"], "would change 3 settings in A0 A2 A3");
        ASSERT_EQ(r["settings"].size(), 3u);
        EXPECT_EQ(r["settings"][0]["key"], "options.mail_server");
        EXPECT_EQ(r["settings"][0]["before"], "mail.example.com");
        EXPECT_EQ(r["settings"][0]["after"], "smtp.fleet.example");
        EXPECT_EQ(r["settings"][1]["after"], "******");  // a password as stars
        EXPECT_FALSE(r.contains("snapshot"));
    }
    EXPECT_EQ(would["results"][0]["device"], device(0));  // in the order given
    const Ran shown =
        runCli(dir, {"set", "--check", device(0), "options/PASSWORD=s3cret", "--show-passwords"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("  options/PASSWORD: \"mailpass\" -> \"s3cret\"\n"), std::string::npos)
        << shown.out;
    EXPECT_EQ(blockWrites(0) + blockWrites(1), 0);
    EXPECT_EQ(snapshots(), 0u);

    const Ran set = runCli(dir, args);
    ASSERT_EQ(set.status, 0) << set.err;
    const auto setDocument = nlohmann::json::parse(set.out);
    for (const auto& r : setDocument["results"]) {
        EXPECT_EQ(r["changed"], true);
        EXPECT_TRUE(r["snapshot"].get<std::string>().starts_with("program/snapshots/"));
    }
    EXPECT_EQ(blockWrites(0), 3);
    EXPECT_EQ(blockWrites(1), 3);
    EXPECT_EQ(snapshots(), 2u);

    sims[0]->clearEvents();
    sims[1]->clearEvents();
    const Ran again = runCli(dir, args);
    ASSERT_EQ(again.status, 0) << again.err;
    const auto againDocument = nlohmann::json::parse(again.out);
    for (const auto& r : againDocument["results"]) {
        EXPECT_EQ(r["changed"], false);
        EXPECT_EQ(r["message"], "unchanged: the device holds these values");
        EXPECT_FALSE(r.contains("snapshot"));
        for (const auto& s : r["settings"]) EXPECT_EQ(s["changed"], false);
    }
    EXPECT_EQ(blockWrites(0) + blockWrites(1), 0);
    EXPECT_EQ(snapshots(), 2u);
}

// What get --json prints of a fleet (from an inventory) is what set --from takes back: as it is, it
// changes nothing; edited, it changes the settings edited on their own device. A text is UTF-8 on
// either side and latin-1 on the device.
TEST_F(CliFleetTest, GetOfAFleetIsWhatSetTakesBack) {
    std::ofstream(dir / "fleet.txt") << "# the panels\n"
                                     << device(1) << "   # the second first\n\n"
                                     << device(0) << "\n";
    const Ran got = runCli(dir, {"--json", "get", "-i", "fleet.txt"});
    ASSERT_EQ(got.status, 0) << got.err;
    auto document = nlohmann::json::parse(got.out);
    ASSERT_EQ(document["results"].size(), 2u);
    EXPECT_EQ(document["results"][0]["device"], device(1));
    EXPECT_EQ(document["results"][0]["settings"]["options.mail_server"], "mail.example.com");
    EXPECT_EQ(document["results"][0]["settings"]["options.password"], "********");
    EXPECT_FALSE(document["results"][0]["settings"].contains("dialer.telephone_line_0"));
    std::ofstream(dir / "fleet.json") << document.dump();

    const Ran same = runCli(dir, {"--json", "set", "-i", "fleet.txt", "--from", "fleet.json"});
    ASSERT_EQ(same.status, 0) << same.err;
    const auto sameDocument = nlohmann::json::parse(same.out);
    for (const auto& r : sameDocument["results"]) {
        EXPECT_EQ(r["changed"], false) << r.dump();
    }
    EXPECT_EQ(blockWrites(0) + blockWrites(1), 0);

    document["results"][1]["settings"]["options.mail_server"] = "\xc3\xa9t\xc3\xa9.example";
    std::ofstream(dir / "fleet.json", std::ios::trunc) << document.dump();
    const Ran edited = runCli(dir, {"--json", "set", "-i", "fleet.txt", "--from", "fleet.json"});
    ASSERT_EQ(edited.status, 0) << edited.err;
    const auto results = nlohmann::json::parse(edited.out)["results"];
    EXPECT_EQ(results[0]["changed"], false);
    EXPECT_EQ(results[1]["changed"], true);
    EXPECT_EQ(blockWrites(1), 0);
    EXPECT_EQ(blockWrites(0), 1);
    const auto memory = sims[0]->memory();
    EXPECT_NE(std::string(memory.begin(), memory.end()).find("\xe9t\xe9.example"),
              std::string::npos);

    const Ran text = runCli(dir, {"get", device(0), "options.mail_server", "main.email"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("\n"
                            "options/MAIL SERVER=\xc3\xa9t\xc3\xa9.example\n"
                            "main/EMAIL=off\n"),
              std::string::npos)
        << text.out;
    // The flat object of KEY: VALUE, as before.
    std::ofstream(dir / "flat.json") << R"({"options.mail_server": "mail.example.com"})";
    const Ran flat = runCli(dir, {"--json", "set", device(0), "--from", "flat.json"});
    ASSERT_EQ(flat.status, 0) << flat.err;
    EXPECT_EQ(nlohmann::json::parse(flat.out)["results"][0]["changed"], true);
}

}  // namespace
}  // namespace veskator
