// The options window's timer: deferred edits a second after the last keystroke, in the table's
// order and inside their fields; edits not lost by closing; the loop status poll and display;
// and how the main window opens the window.

#include <array>
#include <optional>
#include <string>

#include "model/options_fields.h"
#include "resources/main_dialog_template.h"
#include "tests/options/options_fixture.h"

namespace veskator::options_test {
namespace {

namespace ids = options_ids;
using Kind = sim::SimEvent::Kind;

TEST_F(OptionsWindowTest, EditsAreWrittenOnceASecondAfterTheLastKeyAndStayInTheirFields) {
    setDeviceString(3, 0x00, "secret");         // PASSWORD, right behind USER
    setDeviceString(5, 0x00, "update.server");  // right behind DDNS CHECKIP SERVER
    setDeviceString(4, 0x40, "ddnspw");
    setDeviceText(7, 0x04, "99");  // LOOP1 field 18, right behind the account
    openOptions();

    opt->replaceText(ids::kMailServer, "a");
    opt->typeText(ids::kMailServer, "bc");
    // The timer keeps its pace; the edit has a second of its own.
    EXPECT_EQ(*opt->timerPeriod(kOptionsTimer), kOptionsTickPeriod);
    pumpFor(990ms);
    EXPECT_TRUE(options->editPending(ids::kMailServer));
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceText(2, 0x40, 4), std::string("abc\0", 4));
    EXPECT_EQ(writesOf(2), 1);
    pumpFor(3s);
    EXPECT_EQ(writesOf(2), 1);

    struct Case {
        ControlId id;
        std::string typed;
        int block, offset;
        std::string stored;  // what the device holds from offset on
    };
    const std::array<Case, 7> cases{{
        // A full box keeps its zero byte; PASSWORD behind it is untouched.
        {ids::kUser, std::string(32, 'u'), 2, 0x60, std::string(31, 'u') + '\0' + "secret"},
        {ids::kDdnsCheckIp, std::string(40, 'c'), 4, 0x60,
         std::string(31, 'c') + '\0' + "update.server"},
        {ids::kAccount1, "12", 7, 0x00,
         std::string("12\0\0"
                     "99",
                     6)},
        {ids::kAccount1, "1234", 7, 0x00, "123499"},
        {ids::kTestRate, "511", 7, 0x34, "\xff"},
        {ids::kTestRate, "7", 7, 0x34, "\x03"},
        // The first edit of a masked box replaces its stars.
        {ids::kPassword, "x", 3, 0x00, std::string("x\0", 2)},
    }};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        if (c.id == ids::kPassword) {
            opt->typeText(c.id, c.typed);  // after the stars the box shows
        } else {
            opt->replaceText(c.id, c.typed);
        }
        ASSERT_TRUE(pumpUntilSettled());
        EXPECT_EQ(deviceText(c.block, c.offset, c.stored.size()), c.stored);
        // The test rate box shows the seconds stored: twice the byte.
        if (c.id == ids::kTestRate) {
            EXPECT_EQ(optText(c.id), std::to_string(2 * static_cast<std::uint8_t>(c.stored[0])));
        }
    }
    EXPECT_EQ(optText(ids::kPassword), "x");
    // The untouched password box was never written.
    EXPECT_EQ(deviceText(4, 0x40, 7), std::string("ddnspw\0", 7));
    EXPECT_EQ(writesOf(4), 1);  // the check-IP server only
}

TEST_F(OptionsWindowTest, EditsOfOnePeriodAllReachTheDeviceInTheTablesOrder) {
    openOptions();
    opt->replaceText(ids::kToAddress, "to@example.org");
    opt->replaceText(ids::kDdnsHost, "host.example");
    opt->replaceText(ids::kSubject, "alarm");
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceText(6, 0x30, 15), std::string("to@example.org\0", 15));
    EXPECT_EQ(deviceText(4, 0x00, 13), std::string("host.example\0", 13));
    EXPECT_EQ(deviceText(3, 0x20, 6), std::string("alarm\0", 6));
    std::vector<int> order;
    for (const sim::SimEvent& e : blockWrites()) order.push_back(e.number);
    EXPECT_EQ(order, (std::vector<int>{4, 6, 3}));
}

TEST_F(OptionsWindowTest, AnEditClosedWithinASecondIsWrittenAndAReopenedWindowWritesNothing) {
    openOptions();
    opt->replaceText(ids::kMainTel, "555");
    opt->typeText(ids::kPassword, "p");
    opt->requestClose();
    ASSERT_TRUE(opt->isClosed());
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceText(5, 0x50, 4), std::string("555\0", 4));
    EXPECT_EQ(deviceText(3, 0x00, 2), std::string("p\0", 2));

    sim->clearEvents();
    reopen();
    EXPECT_EQ(optText(ids::kPassword), "**");
    pumpFor(3s);
    EXPECT_TRUE(blockWrites().empty());
}

TEST_F(OptionsWindowTest, PollingAsksAboutOnceASecondShowsTheLoopsAndSurvivesTheWindow) {
    sim->setLoopStatus(0x10, 0x00);
    openOptions();
    const auto polls = [&] { return static_cast<int>(events(Kind::Status).size()); };

    opt->click(ids::kReadLoopStatus);
    EXPECT_TRUE(opt->isChecked(ids::kReadLoopStatus));
    pumpFor(10s);
    // Each poll is a connection with its one-second pause: about one a second, one at a time.
    EXPECT_GE(polls(), 4);
    EXPECT_LE(polls(), 10);
    EXPECT_TRUE(opt->isChecked(ids::kLoopStatus1));
    EXPECT_FALSE(opt->isChecked(ids::kLoopStatus2));

    // A text edit slows nothing down, and its write is not held up by the polls.
    sim->clearEvents();
    sim->setLoopStatus(0x00, 0x10);
    opt->replaceText(ids::kMainTel, "777");
    pumpFor(10s);
    EXPECT_GE(polls(), 4);
    EXPECT_EQ(deviceText(5, 0x50, 4), std::string("777\0", 4));
    EXPECT_FALSE(opt->isChecked(ids::kLoopStatus1));
    EXPECT_TRUE(opt->isChecked(ids::kLoopStatus2));
    opt->click(ids::kLoopStatus2);
    EXPECT_TRUE(opt->isChecked(ids::kLoopStatus2));

    // A new window shows polling on and goes on asking; a click turns it off.
    reopen();
    EXPECT_TRUE(opt->isChecked(ids::kReadLoopStatus));
    sim->clearEvents();
    pumpFor(3s);
    EXPECT_GE(polls(), 1);
    opt->click(ids::kReadLoopStatus);
    afterWaits();
    EXPECT_FALSE(opt->isChecked(ids::kReadLoopStatus));
    // The poll under way when polling stopped ends; no other follows.
    ASSERT_TRUE(pumpUntil([&] { return engine->settled(); }));
    sim->clearEvents();
    pumpFor(3s);
    EXPECT_EQ(polls(), 0);
}

// A technician typing steadily holds nothing back: polls go on about once a second, an earlier
// edit of another box goes a second after its own last key, a clear's second write goes on time,
// and a loop that changes shows within a poll or two.
TEST_F(OptionsWindowTest, SteadyTypingHoldsNothingBack) {
    sim->setLoopStatus(0x00, 0x00);
    openOptions();
    const auto polls = [&] { return static_cast<int>(events(Kind::Status).size()); };
    opt->click(ids::kReadLoopStatus);
    ASSERT_TRUE(pumpUntil([&] { return polls() >= 1; }));
    sim->clearEvents();
    opt->replaceText(ids::kToAddress, "");
    opt->replaceText(ids::kMainTel, "555");
    opt->click(ids::kClearDdns);
    const auto start = clock.now();
    std::optional<std::chrono::milliseconds> telWritten;
    std::optional<std::chrono::milliseconds> clearDone;
    std::optional<std::chrono::milliseconds> loopShown;
    for (int key = 0; key < 37; ++key) {  // one key every 300 ms for 11 s
        if (key == 10) sim->setLoopStatus(0x10, 0x00);
        opt->typeText(ids::kToAddress, "a");
        pumpFor(300ms);
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - start);
        if (!telWritten && deviceText(5, 0x50, 4) == std::string("555\0", 4)) telWritten = now;
        if (!clearDone && writesOf(4) == 1) clearDone = now;
        if (!loopShown && opt->isChecked(ids::kLoopStatus1)) loopShown = now;
    }
    // Each a connection of its own, between the writes; a technician typing held them all back.
    EXPECT_GE(polls(), 3);
    ASSERT_TRUE(telWritten);
    EXPECT_LE(*telWritten, 2500ms);
    ASSERT_TRUE(clearDone);
    EXPECT_LE(*clearDone, 6500ms);
    ASSERT_TRUE(loopShown);
    EXPECT_LE(*loopShown, 3000ms + 2500ms);
    // The address itself goes a second after its last key.
    EXPECT_TRUE(options->editPending(ids::kToAddress));
    EXPECT_EQ(optText(ids::kToAddress), std::string(37, 'a'));
    ASSERT_TRUE(
        pumpUntil([&] { return deviceText(6, 0x30, 38) == std::string(37, 'a') + '\0'; }, 5s))
        << deviceText(6, 0x30, 38);
}

TEST_F(OptionsWindowTest, MainWindowOpensANewWindowButNotDuringAFullRead) {
    setDeviceByte(7, 0x36, 42);
    openWindow();
    readDevice();
    int openings = 0;
    windows.onModal(kOptionsDialogResource, [&](HeadlessDialog& d) {
        ++openings;
        // Each opening is a new window filled from the image.
        EXPECT_EQ(d.text(ids::kModulationBox), openings == 1 ? "42" : "43");
        d.replaceText(ids::kModulationBox, "43");
    });
    dialog->click(main_ids::kOptionsWindow);
    dialog->systemCommand(kAboutCommand);
    EXPECT_EQ(openings, 2);

    sim->setFault(sim::FaultMode::SplitReplies);  // a read that lasts
    dialog->click(main_ids::kStartGo);
    ASSERT_TRUE(engine->status().busyWith(TransferKind::FullRead));
    dialog->click(main_ids::kOptionsWindow);
    EXPECT_EQ(openings, 2);
    EXPECT_NE(shown(main_ids::kStatusLine).find("wait for the read to finish"), std::string::npos);
}

}  // namespace
}  // namespace veskator::options_test
