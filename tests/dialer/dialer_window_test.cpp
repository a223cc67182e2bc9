// The dialer, receiver and bridge window: its lists stay in their slots, its numbers are clamped,
// its settings reach the device in the right order, its upload runs to its end with or without
// the window, and its pairing frame always goes whole.

#include <algorithm>
#include <array>
#include <string>

#include "options/options_dlg.h"
#include "resources/main_dialog_template.h"
#include "resources/options_dialog_template.h"
#include "tests/dialer/dialer_fixture.h"
#include "tests/support/rig.h"
#include "ui/status_line.h"

namespace veskator::dialer_test {
namespace {

namespace ids = dialer_ids;
using mainwin_test::readFile;
using mainwin_test::writeFile;

std::string withZeros(std::string text, std::size_t size) {
    text.resize(size, '\0');
    return text;
}

TEST_F(DialerWindowTest, TelephoneLinesAndScheduleSlotsStayInsideTheirBytes) {
    openDialer(false);
    // Moves stop at both ends; "+" on the last line does not even wait.
    click(ids::kPreviousLine);
    click(ids::kPreviousSchedule);
    EXPECT_EQ(win->text(ids::kLineNumber), "0");
    EXPECT_EQ(win->text(ids::kScheduleNumber), "0");
    for (int i = 0; i < 30; ++i) click(ids::kNextLine);
    EXPECT_EQ(win->text(ids::kLineNumber), "23");
    win->click(ids::kNextLine);
    EXPECT_FALSE(dialer->programRunning());
    for (int i = 0; i < 23; ++i) click(ids::kPreviousLine);

    // Line 0: a 17th character is not taken, 16 fill the line without a terminator.
    typeText(ids::kTelephone, "0123456789abcdefG");
    EXPECT_EQ(area(128, 17), std::string("0123456789abcdef") + '\0');
    // Line 1: a shorter number over a longer one keeps the old tail behind its zero byte.
    click(ids::kNextLine);
    replaceText(ids::kTelephone, "5550123456");
    replaceText(ids::kTelephone, "911");
    EXPECT_EQ(area(144, 16), withZeros(std::string("911\0", 4) + "123456", 16));
    click(ids::kPreviousLine);
    EXPECT_EQ(win->text(ids::kTelephone), "0123456789abcdef");
    click(ids::kNextLine);
    EXPECT_EQ(win->text(ids::kTelephone), "911");

    // Slots: "F" is padded with zeros; the last position takes three characters and leaves
    // telephone line 0 alone.
    click(ids::kNextSchedule);
    replaceText(ids::kScheduleTime, "23:00");
    replaceText(ids::kScheduleTime, "F");
    EXPECT_EQ(area(5, 5), withZeros("F", 5));
    for (int i = 0; i < 30; ++i) click(ids::kNextSchedule);
    EXPECT_EQ(win->text(ids::kScheduleNumber), "25");
    EXPECT_EQ(win->charLimit(ids::kScheduleTime), 3);
    typeText(ids::kScheduleTime, "12:45");
    EXPECT_EQ(area(125, 5), "12:01");
    click(ids::kPreviousSchedule);
    EXPECT_EQ(win->charLimit(ids::kScheduleTime), 5);
    EXPECT_TRUE(commands().empty()) << "the lists reach the dialer only by the upload";
}

// A fixed wait never holds the thread: what comes meanwhile (a press, typing, the window's tick, a
// close request) waits its turn and comes in order once the wait has passed; a window closed from
// outside first runs the steps its handler left.
TEST_F(DialerWindowTest, WhatComesDuringAWaitWaitsItsTurnInOrder) {
    openDialer(false);
    win->click(ids::kNextLine);
    win->click(ids::kNextLine);
    win->replaceText(ids::kTelephone, "123");
    win->requestClose();
    EXPECT_EQ(win->text(ids::kLineNumber), "0");
    EXPECT_FALSE(win->isClosed());
    windows.advance(kMovePause);
    EXPECT_EQ(win->text(ids::kLineNumber), "1");
    EXPECT_EQ(area(128 + 16, 4), std::string(4, '\0'));
    windows.advance(kMovePause);
    EXPECT_EQ(win->text(ids::kLineNumber), "2");
    EXPECT_FALSE(win->isClosed());
    windows.advance(kTypingPause);
    EXPECT_EQ(area(128 + 32, 4), std::string("123\0", 4));
    windows.advance(1ms);
    EXPECT_TRUE(win->isClosed());

    reopen();
    win->click(ids::kNextLine);
    win->close(0);
    dialer->onClosed();
    EXPECT_FALSE(dialer->programRunning());
    EXPECT_EQ(win->text(ids::kLineNumber), "1");
}

TEST_F(DialerWindowTest, NumbersAreClampedAndEachEditIsWrittenOnceAfterItsLastKey) {
    setDeviceByte(3, 0x50, 200);
    setDeviceText(3, 0x51, std::string("15\0", 3) + "keep");
    setDeviceByte(7, 0x3b, 0);
    openDialer();
    EXPECT_EQ(win->text(ids::kLineDelay), "200");
    EXPECT_EQ(win->text(ids::kStartupDelay), "15");
    EXPECT_TRUE(win->isChecked(ids::kBaud115200));

    // Three keys in a second: one write of A3, a second after the last.
    replaceText(ids::kLineDelay, "");
    typeText(ids::kLineDelay, "300");
    pumpFor(990ms);
    EXPECT_TRUE(blockWrites().empty());
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(commands(), std::vector<std::string>{"A3"});
    EXPECT_EQ(deviceByte(3, 0x50), 255);

    struct Case {
        ControlId id;
        std::string typed;
        int block, offset;
        std::string stored;
    };
    const std::array<Case, 6> cases{{
        {ids::kLineDelay, "abc", 3, 0x50, std::string(1, '\0')},
        {ids::kLineDelay, "-1", 3, 0x50, std::string(1, '\0')},
        {ids::kStartupDelay, "1234567", 3, 0x51, std::string("123456\0", 7) + "p"},
        {ids::kTcpSocketSize, "300", 7, 0x39, "\xff"},
        {ids::kTcpSocketSize, "-1", 7, 0x39, std::string(1, '\0')},
        {ids::kUdpSocketSize, "200", 7, 0x3a, "\xc8"},
    }};
    setDeviceText(3, 0x58, "p");  // behind the start-up delay's slot
    imageByte(3, 0x58) = 'p';
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        replaceText(c.id, c.typed);
        ASSERT_TRUE(pumpUntilSettled());
        EXPECT_EQ(deviceBytes(static_cast<std::size_t>(imageOffset({c.block, c.offset})),
                              c.stored.size()),
                  c.stored);
    }
    click(ids::kBaud1200);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceByte(7, 0x3b), 1);
    EXPECT_EQ(commands().back(), "reset");

    reopen();
    EXPECT_EQ(win->text(ids::kUdpSocketSize), "200");
    EXPECT_EQ(win->text(ids::kTcpSocketSize), "0");
    EXPECT_TRUE(win->isChecked(ids::kBaud1200));
    EXPECT_FALSE(win->isChecked(ids::kBaud115200));
}

TEST_F(DialerWindowTest, FormatChoicesWriteA0ThenA1AndResetOnceEvenWhenClosedAtOnce) {
    setDeviceByte(0, 0x6c, 0x10);
    setDeviceByte(1, 0x3d, 0x08);
    openDialer();
    EXPECT_TRUE(win->isChecked(ids::kSurGardFormat)) << "Sur-Gard wins over decoded";
    EXPECT_FALSE(win->isChecked(ids::kDecodedFormat));

    click(ids::kDecodedFormat);
    ASSERT_TRUE(pumpUntilSettled());
    click(ids::kSurGardFormat);
    ASSERT_TRUE(pumpUntilSettled());
    pumpFor(3s);
    const std::vector<std::string> twice{"A0", "A1", "reset", "A0", "A1", "reset"};
    EXPECT_EQ(commands(), twice);
    EXPECT_EQ(deviceByte(0, 0x6c) & 0x10, 0);
    EXPECT_EQ(deviceByte(1, 0x3d) & 0x08, 0x08);

    sim->clearEvents();
    click(ids::kRawFormat);
    win->requestClose();
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(commands(), (std::vector<std::string>{"A0", "A1", "reset"}));
    EXPECT_EQ(deviceByte(1, 0x3d) & 0x08, 0);

    // The heartbeat goes through the shared copy of A1 0x3d, without a reset.
    sim->clearEvents();
    reopen();
    EXPECT_TRUE(win->isChecked(ids::kRawFormat));
    click(ids::kHeartbeat);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(commands(), std::vector<std::string>{"A1"});
    EXPECT_EQ(deviceByte(1, 0x3d), 0x20);
    EXPECT_EQ(state.optionCopies().at({1, 0x3d}), 0x20);
}

TEST_F(DialerWindowTest, AnUploadEndsAfterTheChunkThatHoldsTheEndOfTheList) {
    openDialer(false);
    typeText(ids::kTelephone, "E");
    click(ids::kUpload);
    // About a second to the first chunk, then five to the next.
    pumpFor(2500ms);
    EXPECT_EQ(commands(), std::vector<std::string>{"chunk 32"});
    pumpFor(3s);
    EXPECT_EQ(commands().size(), 1u);
    EXPECT_NE(win->text(ids::kStatusLine).find("dialer upload, chunk 2 of at most 33"),
              std::string::npos);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(commands(), (std::vector<std::string>{"chunk 32", "chunk 33"}));
    EXPECT_EQ(log(), "mode= 0\r\nmode= 1\r\ndownload completed");
    EXPECT_EQ(deviceBytes(33 * 128, 2), std::string("E\0", 2));
}

TEST_F(DialerWindowTest, AnUploadGoesOnInOrderWhenTheWindowClosesAndSaysWhichChunkFailed) {
    openDialer(false);
    click(ids::kUpload);
    ASSERT_TRUE(pumpUntil([this] { return commands().size() == 3; }));
    win->requestClose();
    for (std::size_t n = 4; n <= 33; ++n) {
        ASSERT_TRUE(pumpUntil([&] { return commands().size() == n; }, 10s)) << n;
    }
    ASSERT_TRUE(pumpUntilSettled());
    const auto seen = commands();
    for (std::size_t k = 0; k < seen.size(); ++k)
        EXPECT_EQ(seen[k], numbered("chunk ", static_cast<int>(32 + k)));

    // The program waits for the upload too, and asks before leaving the dialer half a list.
    sim->clearEvents();
    reopen();
    typeText(ids::kTelephone, "E");
    click(ids::kUpload);
    win->requestClose();
    dialog->requestClose();
    dialog->requestClose();
    ASSERT_EQ(dialog->questions().size(), 1u);
    EXPECT_EQ(dialog->questions()[0], kQuestionDialerUpload);
    EXPECT_FALSE(dialog->isClosed());
    ASSERT_TRUE(pumpUntil([this] { return dialog->isClosed(); }));
    ASSERT_TRUE(test_support::deviceQuiet(*sim));
    EXPECT_EQ(commands(), (std::vector<std::string>{"chunk 32", "chunk 33"}));
    openWindow();

    // A device that refuses from the third chunk on: no "download completed".
    sim->clearEvents();
    reopen();
    EXPECT_EQ(log(), "dialer upload completed\r\n") << "the last upload's end stays in the log";
    replaceText(ids::kTelephone, "");
    for (int line = 0; line < 9; ++line) click(ids::kNextLine);
    typeText(ids::kTelephone, "E");  // line 9: chunk 2 ends the list
    click(ids::kUpload);
    ASSERT_TRUE(pumpUntil([this] { return commands().size() == 2; }));
    sim->setFault(sim::FaultMode::Refuse);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(log().find("download completed"), std::string::npos);
    EXPECT_TRUE(
        log().ends_with("mode= 1\r\ndialer upload stopped at chunk 2: connect failed; the "
                        "dialer holds chunks 0 to 1 of the new list, upload again"))
        << log();
}

TEST_F(DialerWindowTest, MacFilesHoldTheBareTextAndThePairingFrameAlwaysGoesWhole) {
    openWindow();
    writeFile(path("program/BTSERVERMAC.txt"), std::string(60, 's'));
    setDeviceText(5, 0x50, std::string("5551234\0", 8));
    readDevice();
    reopen();
    EXPECT_EQ(win->text(ids::kSlaveMac), "");
    EXPECT_EQ(win->text(ids::kServerMac), std::string(50, 's'));
    EXPECT_FALSE(std::filesystem::exists(path("program/BTSLAVEMAC.txt")));

    typeText(ids::kSlaveMac, "00:11:22:33:");
    EXPECT_EQ(readFile(path("program/BTSLAVEMAC.txt")), "00:11:22:33:");
    replaceText(ids::kSlaveMac, std::string(55, 'm'));
    EXPECT_EQ(readFile(path("program/BTSLAVEMAC.txt")), std::string(50, 'm'));

    click(ids::kPair);
    imageByte(5, 0x50) = 0;
    replaceText(ids::kSlaveMac, "");
    replaceText(ids::kServerMac, "");
    click(ids::kPair);
    ASSERT_TRUE(pumpUntilSettled());
    const auto pairings = events(Kind::Pairing);
    ASSERT_EQ(pairings.size(), 2u);
    const std::string full =
        std::string(50, 'm') + "/DOWNLOADBT/" + std::string(50, 's') + "5551234";
    EXPECT_EQ(pairings[0].text, full);
    EXPECT_EQ(pairings[1].text, "/DOWNLOADBT/");
    const std::string answered = "pairing frame sent; the bridge answered: BT PAIRED\r\n";
    EXPECT_EQ(log(), full + "\r/DOWNLOADBT/\r" + answered + answered);
}

TEST_F(DialerWindowTest, SubscriberTextTypedFastIsWrittenOnceAndKeptInTheWorkspace) {
    openDialer();
    typeText(ids::kSubscriber, "Main St 5, key at the neighbour");
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(commands(), (std::vector<std::string>{"A7", "reset"}));
    const auto bytes = state.workspace.bytes();
    EXPECT_EQ(readText(bytes, static_cast<int>(kSubscriberOffset), 64),
              "Main St 5, key at the neighbour");
    EXPECT_EQ(area(0, 8), std::string(8, '\0')) << "the schedule is not overwritten";
    reopen();
    EXPECT_EQ(win->text(ids::kSubscriber), "Main St 5, key at the neighbour");
}

TEST_F(DialerWindowTest, BeforeAReadNothingIsWrittenAndOptionsSnapBack) {
    openDialer(false);
    click(ids::kTestEnabled);
    click(ids::kDecodedFormat);
    replaceText(ids::kTcpSocketSize, "99");
    replaceText(ids::kLineDelay, "9");
    pumpFor(3s);
    EXPECT_TRUE(commands().empty());
    EXPECT_FALSE(win->isChecked(ids::kTestEnabled));
    EXPECT_TRUE(win->isChecked(ids::kRawFormat));
    EXPECT_EQ(win->text(ids::kTcpSocketSize), "0");
    EXPECT_EQ(win->text(ids::kLineDelay), "0");
    EXPECT_NE(win->text(ids::kStatusLine).find(kTextReadFirst), std::string::npos);
    EXPECT_EQ(imageByte(0, 0x6d), 0);
}

// Opened from the options window; what it switched shows in the windows beneath once it closes.
TEST_F(DialerWindowTest, TheOptionsWindowOpensItAndTheMainWindowFollowsItsBits) {
    openWindow();
    readDevice();
    ASSERT_FALSE(dialog->isChecked(main_ids::kUdpAck));
    windows.onModal(kDialerDialogResource, [](HeadlessDialog& d) {
        d.click(ids::kTransmitIpServer);  // A0 0x6c bit 1, the main window's 1070 too
    });
    windows.onModal(kOptionsDialogResource,
                    [](HeadlessDialog& d) { d.click(options_ids::kDialerWindow); });
    dialog->systemCommand(kAboutCommand);
    EXPECT_TRUE(dialog->isChecked(main_ids::kUdpAck));
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(commands(), (std::vector<std::string>{"A0", "reset"}));
    EXPECT_EQ(deviceByte(0, 0x6c) & 0x02, 0x02);
}

}  // namespace
}  // namespace veskator::dialer_test
