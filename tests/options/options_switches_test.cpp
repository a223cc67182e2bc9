// The options window's switches and action buttons: the edge cases of single switches, the
// restart after a write, the two clears and their second writes, the forced DDNS update, the
// history file, and the refusal before the first read. (Every switch's bit: options_parts_test.)

#include <algorithm>
#include <array>
#include <string>

#include "options/option_switches.h"
#include "tests/options/options_fixture.h"
#include "ui/status_line.h"

namespace veskator::options_test {
namespace {

namespace ids = options_ids;
using mainwin_test::readFile;
using mainwin_test::writeFile;
using Kind = sim::SimEvent::Kind;

TEST_F(OptionsWindowTest, SwitchEdgeCasesRepeatSelectedAndInverted) {
    openOptions();
    // REPEAT EMAIL twice: back to where it was, written twice.
    for (bool on : {true, false}) {
        opt->click(ids::kRepeatEmail);
        afterWaits();
        EXPECT_EQ(imageByte(0, 0x6e) & 0x02, on ? 0x02 : 0);
        ASSERT_TRUE(pumpUntilSettled());
    }
    EXPECT_EQ(writesOf(0), 2);
    // PLACED AT ALARM RECEIVER while selected: set again, and still written.
    opt->click(ids::kAtReceiver);
    ASSERT_TRUE(pumpUntilSettled());
    sim->clearEvents();
    opt->click(ids::kAtReceiver);
    EXPECT_EQ(imageByte(1, 0x38) & 0x02, 0x02);
    EXPECT_TRUE(opt->isChecked(ids::kAtReceiver));
    EXPECT_FALSE(opt->isChecked(ids::kAtPanel));
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(writesOf(1), 1);
    // "alarm receiver or voice call" is selected while its bit is clear.
    ASSERT_TRUE(opt->isChecked(ids::kReceiverOrVoice));
    opt->click(ids::kReceiverOrVoice);
    afterWaits();
    EXPECT_EQ(imageByte(0, 0x6e) & 0x80, 0x80);
    EXPECT_FALSE(opt->isChecked(ids::kReceiverOrVoice));
}

TEST_F(OptionsWindowTest, RestartComesAfterItsWriteEvenWhilePolling) {
    openOptions();
    opt->click(ids::kReadLoopStatus);
    pumpFor(3s);
    sim->clearEvents();
    const std::uint8_t arm = imageByte(0, 0x6f) ^ 0x80;
    opt->click(ids::kArm1);
    opt->click(ids::kSendTest);
    ASSERT_TRUE(pumpUntil([&] { return !events(Kind::RemoteReset).empty(); }, 30s));
    pumpFor(3s);
    std::vector<Kind> order;
    for (const sim::SimEvent& e : sim->events()) {
        if (e.kind == Kind::BlockWrite || e.kind == Kind::RemoteReset) order.push_back(e.kind);
    }
    // The link writes the first switch while the send's wait runs; the restart comes last.
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order.back(), Kind::RemoteReset);
    EXPECT_EQ(std::count(order.begin(), order.end(), Kind::RemoteReset), 1);
    EXPECT_EQ(deviceText(0, 0x6d, 1)[0] & 0x20, 0x20);  // the send-tests bit
    EXPECT_EQ(deviceText(0, 0x6f, 1), std::string(1, static_cast<char>(arm)));
    EXPECT_FALSE(events(Kind::Status).empty());
}

TEST_F(OptionsWindowTest, BothClearsZeroTheirRangesAndSendTheirSecondWritesAboutFiveSecondsLater) {
    for (int block : {2, 3, 4, 5, 6}) setDeviceText(block, 0, std::string(kBlockSize, 'k'));
    setDeviceString(3, 0x20, "subject");
    setDeviceString(6, 0x30, "to@example.org");
    openOptions();
    opt->replaceText(ids::kFromAddress, "stale@example.org");
    opt->replaceText(ids::kDdnsHost, "stale.example");
    opt->click(ids::kClearEmail);
    opt->click(ids::kClearDdns);
    // The zeroed fields' waiting edits are gone: no stale text goes back over the zeros.
    EXPECT_EQ(options->pendingEdits(), 0);
    for (ControlId id : {ids::kFromAddress, ids::kMailServer, ids::kUser, ids::kPassword,
                         ids::kSmtpPort, ids::kDdnsHost, ids::kDdnsUser, ids::kDdnsPassword,
                         ids::kDdnsCheckIp, ids::kDdnsUpdateServer})
        EXPECT_EQ(optText(id), "") << id;
    EXPECT_EQ(optText(ids::kSubject), "subject");
    EXPECT_EQ(optText(ids::kToAddress), "to@example.org");

    pumpFor(4500ms);
    EXPECT_EQ(writesOf(3), 1);
    EXPECT_EQ(writesOf(5), 1);
    EXPECT_EQ(writesOf(2) + writesOf(4), 0);
    ASSERT_TRUE(pumpUntil([&] { return writesOf(2) == 1 && writesOf(4) == 1; }, 3s));
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(blockWrites().size(), 4u);
    const std::string zeros(160, '\0');
    EXPECT_EQ(deviceText(2, 0, 160), zeros);
    EXPECT_EQ(deviceText(4, 0, 160), zeros);
    EXPECT_EQ(deviceText(3, 0x20, 8), std::string("subject\0", 8));
    EXPECT_EQ(deviceText(5, 0x20, 4), "kkkk");
}

// The forced update waits a second like an edit; a clear's second write, five. Closing sooner
// sends both.
TEST_F(OptionsWindowTest, ForcedUpdateAndAClearClosedSoonerAreStillSent) {
    setDeviceText(5, 0x20, "\x01\x02\x03\x04");
    openOptions();
    opt->click(ids::kForceDdns);
    EXPECT_EQ(*opt->timerPeriod(kOptionsTimer), kOptionsTickPeriod);
    EXPECT_TRUE(options->editPending(ids::kForceDdns));
    opt->click(ids::kClearDdns);
    EXPECT_EQ(*opt->timerPeriod(kOptionsTimer), kOptionsTickPeriod);
    EXPECT_TRUE(options->followUpPending(ids::kClearDdns));
    opt->requestClose();
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceText(5, 0x20, 4), std::string(4, '\0'));
    EXPECT_EQ(deviceText(4, 0, kBlockSize), std::string(kBlockSize, '\0'));
    EXPECT_EQ(writesOf(5), 1);
    EXPECT_EQ(writesOf(4), 1);
}

TEST_F(OptionsWindowTest, BeforeAnyReadOnlyTheHistoryFileIsWrittenAndItKeepsALongerFilesTail) {
    openOptions(/*readFirst=*/false);
    for (const SwitchRow& row : kSwitchRows) {
        const bool was = opt->isChecked(row.id);
        opt->click(row.id);
        EXPECT_EQ(opt->isChecked(row.id), was) << row.id;
    }
    for (ControlId id : {ids::kSendTest, ids::kClearEmail, ids::kClearDdns, ids::kForceDdns})
        opt->click(id);
    // Text boxes, number boxes and sliders refuse too: the control goes back.
    opt->typeText(ids::kMailServer, "m");
    opt->typeText(ids::kPassword, "p");
    opt->replaceText(ids::kSoundBox, "30");
    opt->replaceText(ids::kModulationBox, "99");
    opt->replaceText(ids::kTestRate, "100");
    opt->moveSlider(ids::kRestoreSlider, 30);
    EXPECT_EQ(optText(ids::kMailServer), "");
    EXPECT_EQ(optText(ids::kPassword), "*");
    EXPECT_EQ(optText(ids::kSoundBox), "0");
    EXPECT_EQ(optText(ids::kModulationBox), "0");
    EXPECT_EQ(optText(ids::kTestRate), "0");
    EXPECT_EQ(opt->sliderPosition(ids::kRestoreSlider), 0);
    EXPECT_NE(optText(ids::kStatusLine).find(kTextReadFirst), std::string::npos);
    EXPECT_EQ(imageBytes(0, 0, kImageSize), std::string(kImageSize, '\0'));
    EXPECT_EQ(options->pendingEdits(), 0);
    pumpFor(7s);
    EXPECT_EQ(connections(), 0);
    opt->click(ids::kHistoryFile);
    EXPECT_EQ(readFile(path("historyfile.txt")), std::string(kHistorySize, '\0'));

    // After a read, over a longer file: its start is replaced as it is, its tail kept.
    std::string history(kReceiveAreaSize - kHistoryOffset, 'h');
    history[0] = 13;
    setDeviceText(14, 0x02, history);
    writeFile(path("historyfile.txt"), std::string(5000, 'x'));
    readDevice();
    reopen();
    opt->click(ids::kHistoryFile);
    EXPECT_EQ(readFile(path("historyfile.txt")),
              history + std::string(8, '\0') + std::string(5000 - kHistorySize, 'x'));
}

TEST_F(OptionsWindowTest, AnOptionByteSentAs12Is12InTheCopyAndOnTheButtons) {
    setDeviceByte(0, 0x6e, 0x0c);
    setDeviceByte(1, 0x38, 0x0f);
    openOptions();
    opt->click(ids::kEnableDialer);  // 0x0d
    opt->click(ids::kAtPanel);       // the copy becomes 0x0d
    ASSERT_TRUE(pumpUntilSettled());
    pumpFor(50ms);
    EXPECT_EQ(imageByte(0, 0x6e), 0x0c);
    EXPECT_FALSE(opt->isChecked(ids::kEnableDialer));
    EXPECT_EQ(state.optionCopies().at({1, 0x38}), 0x0c);
    EXPECT_EQ(deviceText(1, 0x38, 1), "\x0c");
}

}  // namespace
}  // namespace veskator::options_test
