// "DISPLAY IP ADDRESSES": the sweep and the ARP listing on the scripted runner (nothing reaches
// the network), a window that stays live meanwhile, failures, and closing mid-search.

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "options/lan_discovery.h"
#include "resources/main_dialog_template.h"
#include "tests/options/options_fixture.h"

namespace veskator::options_test {
namespace {

namespace ids = options_ids;
using Behaviour = ScriptedCommandRunner::Behaviour;
using Argv = std::vector<std::string>;
using mainwin_test::readFile;
using mainwin_test::writeFile;

Argv pingOf(std::string_view address) {
    Argv argv{std::string(kPingProgram)};
    argv.insert(argv.end(), kPingOptions.begin(), kPingOptions.end());
    argv.emplace_back(address);
    return argv;
}
const Argv kArpCommand{std::string(kArpProgram), "-a"};
const Argv kIpCommand{std::string(kIpProgram), "neigh"};

class DiscoveryTest : public OptionsWindowTest {
  protected:
    bool search() {
        opt->click(ids::kDisplayIp);
        return pumpUntil([this] { return opt->isEnabled(ids::kDisplayIp); });
    }
    bool sweepLeftovers() const {
        return std::any_of(std::filesystem::directory_iterator(dir), {}, [](const auto& entry) {
            return entry.path().filename().string().starts_with("K1.");
        });
    }
    ScriptedCommandRunner& runner = scriptedCommands;
};

TEST_F(DiscoveryTest, PingsAllAddressesAtOnceInOrderThenShowsTheWholeListingWhileTheWindowLives) {
    // Later addresses answer sooner: the pings end in the reverse of their order.
    runner.script(std::string(kPingProgram), [](const Argv& argv) {
        const auto i = std::find(kSweepAddresses.begin(), kSweepAddresses.end(), argv.back()) -
                       kSweepAddresses.begin();
        return Behaviour{0, "reply " + argv.back() + "\n",
                         std::chrono::milliseconds(1500 - 50 * i)};
    });
    std::string listing;
    while (listing.size() < 20000)
        listing += "? (192.168.1.4) at 00:1a:2b:3c:4d:5e [ether] on eth0\r\n";
    runner.script(std::string(kArpProgram), Behaviour{0, listing, 200ms});
    openOptions(false);

    opt->click(ids::kDisplayIp);
    EXPECT_FALSE(opt->isEnabled(ids::kDisplayIp));
    EXPECT_EQ(optText(ids::kMessageBox), kSearchingText);
    ASSERT_EQ(runner.runningCount(), kSweepAddresses.size());
    std::string sweep;
    for (std::size_t i = 0; i < kSweepAddresses.size(); ++i) {
        EXPECT_EQ(runner.started()[i].argv, pingOf(kSweepAddresses[i]));
        sweep += "reply " + std::string(kSweepAddresses[i]) + "\n";
    }
    // An edit made meanwhile is written on time.
    opt->replaceText(ids::kMailServer, "m");
    ASSERT_TRUE(pumpUntil([this] { return !options->editPending(ids::kMailServer); }));
    EXPECT_GT(runner.runningCount(), 0u);

    ASSERT_TRUE(pumpUntil([this] { return opt->isEnabled(ids::kDisplayIp); }));
    ASSERT_EQ(runner.started().size(), kSweepAddresses.size() + 1);
    EXPECT_EQ(runner.started().back().argv, kArpCommand);
    EXPECT_EQ(runner.started().back().outputPath, kListingFile);
    EXPECT_EQ(optText(ids::kMessageBox), listing);
    EXPECT_EQ(readFile(path("K1")), sweep);
    EXPECT_FALSE(sweepLeftovers());
}

// The box shows the listing of this press, cut at the limit, or nothing: never an earlier one.
TEST_F(DiscoveryTest, EachPressShowsOnlyTheCurrentListingWhateverIsMissingOrFails) {
    enum Tools { None, IpOnly, All };
    struct Press {
        const char* what;
        Tools tools;
        Behaviour ping, listing;
    };
    const std::array<Press, 7> presses{{
        {"nothing installed: not the earlier session's file", None, {}, {}},
        {"iproute2 only", IpOnly, {}, {0, "192.168.1.4 dev eth0 lladdr 00:1a\n", 20ms}},
        {"pings unanswered", All, {1, "", 10ms}, {0, "listing\r\n", 20ms}},
        {"pings outlive their bound", All, {0, "", kPingBound + 1s}, {0, "second\n", 0ms}},
        {"arp fails silently", All, {}, {1, "", 20ms}},
        {"arp outlives its bound", All, {}, {0, "", kListingBound + 1s}},
        {"a listing beyond the limit", All, {}, {0, std::string(kListingMax + 9, 'x'), 20ms}},
    }};
    const Press* current = nullptr;
    const auto ping = [&](const Argv&) { return current->ping; };
    const auto listing = [&](const Argv&) { return current->listing; };
    writeFile(path("k1"), "stale listing\n");
    openOptions(false);
    for (const Press& press : presses) {
        SCOPED_TRACE(press.what);
        current = &press;
        if (press.tools >= IpOnly) runner.script(std::string(kIpProgram), listing);
        if (press.tools == All) runner.script(std::string(kArpProgram), listing);
        if (press.tools == All) runner.script(std::string(kPingProgram), ping);
        const auto before =
            static_cast<std::ptrdiff_t>(runner.started().size() + kSweepAddresses.size());
        ASSERT_TRUE(search());
        std::vector<Argv> listed;
        for (auto c = runner.started().begin() + before; c != runner.started().end(); ++c)
            listed.push_back(c->argv);
        const std::vector<Argv> expected = press.tools == All
                                               ? std::vector<Argv>{kArpCommand}
                                               : std::vector<Argv>{kArpCommand, kIpCommand};
        EXPECT_EQ(listed, expected);
        EXPECT_EQ(optText(ids::kMessageBox), press.listing.output.substr(0, kListingMax));
        EXPECT_EQ(readFile(path("k1")), press.listing.output);
        EXPECT_EQ(runner.runningCount(), 0u);
    }
}

// Closed or destroyed mid-sweep or mid-listing: the programs end, nothing is shown or written
// afterwards, and no part of the sweep is left behind.
TEST_F(DiscoveryTest, ClosingMidSearchEndsTheProgramsAndDropsTheResults) {
    runner.script(std::string(kPingProgram), Behaviour{0, "reply\n", 300ms});
    runner.script(std::string(kArpProgram), Behaviour{0, "late listing\n", 300ms});
    openOptions(false);
    for (const bool inListing : {false, true}) {
        for (const bool destroyed : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "listing " << inListing << " destroyed " << destroyed);
            reopen();
            opt->click(ids::kDisplayIp);
            ASSERT_TRUE(pumpUntil(
                [&] { return (runner.started().back().argv == kArpCommand) == inListing; }));
            if (destroyed) {
                opt->close(0);
                options.reset();
            } else {
                opt->requestClose();
            }
            EXPECT_EQ(runner.runningCount(), 0u);
            pumpFor(1s);
            EXPECT_EQ(readFile(path("k1")), "");
            EXPECT_FALSE(sweepLeftovers());
            if (!destroyed) {
                EXPECT_EQ(optText(ids::kMessageBox), kSearchingText);
            }
        }
    }
    // Opened from the main window and closed at once, mid-sweep.
    windows.onModal(kOptionsDialogResource, [](HeadlessDialog& d) { d.click(ids::kDisplayIp); });
    dialog->click(main_ids::kOptionsWindow);
    EXPECT_EQ(runner.runningCount(), 0u);
}

}  // namespace
}  // namespace veskator::options_test
