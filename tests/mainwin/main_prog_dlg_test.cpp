// The main window's handlers: deferred field commits on the window's timer, option clicks with
// their waits, the exclusive pair, Start/Go, Finalize and the bounds of what a commit may write.

#include <algorithm>
#include <array>

#include "model/main_fields.h"
#include "model/parameter_files.h"
#include "resources/main_dialog_template.h"
#include "tests/support/main_window_rig.h"
#include "ui/status_line.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;
using Kind = sim::SimEvent::Kind;

std::string blockText(const sim::SimEvent& write, int offset, std::size_t size) {
    return textOf(std::span(write.data).subspan(static_cast<std::size_t>(offset), size));
}

constexpr auto kPort1 = std::string_view("5001\0", 5);

TEST_F(MainWindowTest, PortTypedFasterThanOnceASecondIsWrittenOnceASecondAfterTheLastKey) {
    // A full field, so that the zero byte after "5001" is the commit's own.
    setDeviceText(0, 0x60, "99999999999");
    openWindow();
    readDevice();
    ASSERT_EQ(values().text(kServerPort1), "99999999999");

    const int ticks = windows.tickCount();
    // Select all and type "5", then "0", "0", "1", each 900 ms after the one before.
    dialog->replaceText(kServerPort1, "5");
    for (char key : std::string_view("001")) {
        windows.advance(900ms);
        dialog->typeText(kServerPort1, std::string(1, key));
    }
    // The engine has not ticked once while the user typed.
    EXPECT_EQ(windows.tickCount(), ticks);
    EXPECT_EQ(connections(), 0);

    windows.advance(990ms);
    EXPECT_EQ(windows.tickCount(), ticks);
    EXPECT_TRUE(dlg->commitPending(main_ids::kServerPort1));
    EXPECT_TRUE(engine->idle());

    // One second after the last key: the commit is taken and the exchange begins.
    windows.advance(10ms);
    EXPECT_GT(windows.tickCount(), ticks);
    EXPECT_TRUE((dlg->pendingCommits() == 0));
    EXPECT_EQ(imageBytes(0, 0x60, 5), kPort1);
    EXPECT_FALSE(engine->idle());

    ASSERT_TRUE(pumpUntilSettled());
    const auto writes = blockWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].number, 0);
    EXPECT_EQ(writes[0].text, "write programA0");
    EXPECT_EQ(blockText(writes[0], 0x60, 5), kPort1);
    // The rest of the slot keeps the device's bytes, and the option bytes after it are untouched.
    EXPECT_EQ(blockText(writes[0], 0x65, 6), "999999");
    EXPECT_EQ(blockText(writes[0], 0x6c, 4), deviceBytes(0x6c, 4));
    EXPECT_EQ(connections(), 1);
    EXPECT_EQ(shown(kTraceBox), "socket closed1");
}

TEST_F(MainWindowTest, PortTypedOnceEveryTwoSecondsIsWrittenFourTimes) {
    setDeviceText(0, 0x60, "99999999999");
    openWindow();
    readDevice();

    dialog->replaceText(kServerPort1, "5");
    for (char key : std::string_view("001")) {
        pumpFor(2000ms);
        dialog->typeText(kServerPort1, std::string(1, key));
    }
    ASSERT_TRUE(pumpUntilSettled());

    const auto writes = blockWrites();
    ASSERT_EQ(writes.size(), 4u);
    std::size_t previous = 0;
    for (const auto& w : writes) {
        EXPECT_EQ(w.number, 0);
        // Each write carries the text as typed so far, never less than the write before.
        const std::string port =
            blockText(w, 0x60, 12).substr(0, blockText(w, 0x60, 12).find('\0'));
        EXPECT_TRUE(std::string_view("5001").starts_with(port)) << port;
        EXPECT_GE(port.size(), previous);
        previous = port.size();
    }
    EXPECT_EQ(blockText(writes.back(), 0x60, 5), kPort1);
}

TEST_F(MainWindowTest, TcpOrUdpSetsItsBitShowsOffAndWritesA1AfterTheTwoSecondWait) {
    constexpr std::array<std::uint8_t, 1> kTcp{0x90};  // bit 0x02 clear: TCP
    setDeviceBytes(1, 0x3d, kTcp);
    openWindow();
    readDevice();
    ASSERT_TRUE(dialog->isChecked(kTcpOrUdp));

    const auto before = clock.now();
    dialog->click(kTcpOrUdp);
    // The click shows its change at once; the write waits its two seconds, and a click meanwhile
    // waits its turn behind it.
    EXPECT_FALSE(dialog->isChecked(kTcpOrUdp));
    EXPECT_FALSE(values().isChecked(kTcpOrUdp));
    EXPECT_EQ(state.optionCopies().at({1, 0x3d}), 0x92);
    EXPECT_EQ(state.workspace.image()[imageOffset({1, 0x3d})], 0x92);
    EXPECT_EQ(engine->queued(), 0u);
    const std::uint8_t emailByte = state.workspace.image()[imageOffset({0, 0x1f})];
    dialog->click(kEmail);
    windows.advance(1999ms);
    EXPECT_EQ(engine->queued(), 0u);
    EXPECT_EQ(state.workspace.image()[imageOffset({0, 0x1f})], emailByte);
    windows.advance(1ms);
    ASSERT_GE(engine->queued(), 1u);
    EXPECT_NE(state.workspace.image()[imageOffset({0, 0x1f})], emailByte);

    ASSERT_TRUE(pumpUntil([this] { return !blockWrites().empty(); }));
    // Requested after the wait, then the pause after connecting.
    EXPECT_GE(clock.now() - before, 3000ms);
    ASSERT_TRUE(pumpUntilSettled());
    auto writes = blockWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].number, 1);
    EXPECT_EQ(writes[0].data[0x3d], 0x92);
    EXPECT_EQ(writes[1].number, 0);

    // And back: the bit clears and the option shows on.
    sim->clearEvents();
    dialog->click(kTcpOrUdp);
    EXPECT_TRUE(dialog->isChecked(kTcpOrUdp));
    ASSERT_TRUE(pumpUntilSettled());
    writes = blockWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].data[0x3d], 0x90);
}

TEST_F(MainWindowTest, SecondServerAndListenInExcludeEachOtherAndWriteA0ThenA1) {
    constexpr std::array<std::uint8_t, 1> kListenOn{0x0e};
    setDeviceBytes(1, 0x3f, kListenOn);  // listen-in on; A0 0x1f holds 0x23 (2nd server off)
    openWindow();
    readDevice();
    ASSERT_TRUE(dialog->isChecked(kListenIn));
    ASSERT_FALSE(dialog->isChecked(kSecondServer));

    struct Step {
        ControlId click;
        bool secondServerOn, listenInOn;
        std::uint8_t a0x1f, a1x3f;
    };
    const std::array<Step, 4> steps{{
        {kSecondServer, true, false, 0x2b, 0x06},   // on: listen-in goes off
        {kSecondServer, false, false, 0x23, 0x06},  // off again: both off
        {kListenIn, false, true, 0x23, 0x0e},
        {kSecondServer, true, false, 0x2b, 0x06},  // the other direction
    }};
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message()
                     << "click " << s.click << " to " << int(s.a0x1f) << "/" << int(s.a1x3f));
        sim->clearEvents();
        dialog->click(s.click);
        EXPECT_EQ(dialog->isChecked(kSecondServer), s.secondServerOn);
        EXPECT_EQ(dialog->isChecked(kListenIn), s.listenInOn);
        EXPECT_EQ(state.optionCopies().at({0, 0x1f}), s.a0x1f);
        EXPECT_EQ(state.optionCopies().at({1, 0x3f}), s.a1x3f);
        ASSERT_TRUE(pumpUntilSettled());
        const auto writes = blockWrites();
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].number, 0);
        EXPECT_EQ(writes[1].number, 1);
        EXPECT_EQ(writes[0].data[0x1f], s.a0x1f);
        EXPECT_EQ(writes[1].data[0x3f], s.a1x3f);
        EXPECT_EQ(connections(), 2);
    }
}

TEST_F(MainWindowTest, StartGoBeforeTheAgreementStartsNoExchange) {
    openWindow(/*agreed=*/false);
    dialog->click(kStartGo);
    EXPECT_EQ(engine->status().busyWith(TransferKind::FullRead), false);
    pumpFor(3000ms);
    EXPECT_EQ(shown(kTraceBox), kDisclaimerText);
    EXPECT_EQ(sim->connectionCount(), 0);
    EXPECT_FALSE(state.holdsDeviceData());
}

TEST_F(MainWindowTest, FinalizeSendsRemoteResetWithNothingChanged) {
    openWindow();
    dialog->click(kFinalize);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(sim->remoteResetCount(), 1);
    EXPECT_TRUE(blockWrites().empty());
    EXPECT_EQ(connections(), 1);
    const auto image = state.workspace.image();
    EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0; }));

    // And again after a full read, still with nothing changed.
    readDevice();
    dialog->click(kFinalize);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(sim->remoteResetCount(), 2);
    EXPECT_TRUE(blockWrites().empty());
}

TEST_F(MainWindowTest, ChangesBeforeTheFirstReadAreRefusedBeforeAnythingChanges) {
    openWindow();
    const std::string imageBefore = imageBytes(0, 0, kImageSize);
    dialog->replaceText(kServerPort1, "5001");
    dialog->click(kEmail);
    dialog->click(kSecondServer);
    dialog->click(kProprietary);
    // Each control goes back to what it showed, the status line says why, nothing changed.
    EXPECT_EQ(shown(kServerPort1), "");
    for (ControlId id : {kEmail, kSecondServer, kProprietary}) EXPECT_FALSE(dialog->isChecked(id));
    EXPECT_NE(shown(kStatusLine).find(kTextReadFirst), std::string::npos) << shown(kStatusLine);
    EXPECT_EQ(imageBytes(0, 0, kImageSize), imageBefore);
    EXPECT_EQ(state.optionCopies().bytes(), (std::array<std::uint8_t, 4>{}));
    EXPECT_TRUE(settled());
    pumpFor(1500ms);
    EXPECT_EQ(sim->connectionCount(), 0);

    // The target address is no device setting: it is taken.
    dialog->replaceText(kTargetPort, "1");
    EXPECT_TRUE(dlg->commitPending(main_ids::kTargetPort));
    dialog->replaceText(kTargetPort, std::to_string(sim->port()));

    // Nothing refused goes out later with the read either, and the read shows the device.
    dialog->click(kStartGo);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(engine->status().lastError, "");
    EXPECT_TRUE(blockWrites().empty());
    EXPECT_EQ(connections(), 1);
    EXPECT_EQ(shown(kStatusLine).find(kTextReadFirst), std::string::npos);
}

TEST_F(MainWindowTest, ALongServerAddressNeverReachesTheOptionByteAfterIt) {
    openWindow();
    readDevice();
    // A host name of forty characters: "xxx.xxx. ..."
    std::string forty(40, 'x');
    for (std::size_t i = 3; i < forty.size(); i += 4) forty[i] = '.';
    dialog->replaceText(kServerIp1, forty);
    EXPECT_EQ(shown(kServerIp1), forty.substr(0, 30));
    ASSERT_TRUE(pumpUntilSettled());
    const auto writes = blockWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(blockText(writes[0], 0x00, 31), forty.substr(0, 30) + '\0');
    EXPECT_EQ(writes[0].data[0x1f], sim::defaultMemory()[0x1f]);
}

// Every stored field, committed with a text far longer than its place, changes only its place:
// the text cut to fit and its zero byte (the 15-byte programming data takes 15 characters).
TEST_F(MainWindowTest, ACommitNeverWritesPastItsPlace) {
    struct Place {
        ControlId id;
        int offset;  // in the image
        int size;
        bool exact;
    };
    const std::array<Place, 9> places{{
        {kServerIp1, 0x00, 31, false},
        {kAlarmSequence, 0x20, 16, false},
        {kReceiver1, 0x30, 16, false},
        {kAccountPrefix, 0x40, 16, false},
        {kServerPort2, 0x50, 16, false},
        {kServerPort1, 0x60, 12, false},
        {kServerIp2, 0x70, 32, false},
        {kReceiver2, 0x80 + 0x10, 16, false},
        {kProgrammingData, 0x80 + 0x20, 15, true},
    }};
    openWindow();
    const std::string longText(60, 'L');
    for (const Place& p : places) {
        SCOPED_TRACE(testing::Message() << "field " << p.id);
        auto image = state.workspace.image();
        std::fill(image.begin(), image.end(), std::uint8_t{0xA5});
        storeText(image, *findRow(kMainTextFields, p.id), longText);

        const std::string after = textOf(state.workspace.image());
        const std::string expected =
            std::string(static_cast<std::size_t>(p.size - (p.exact ? 0 : 1)), 'L') +
            (p.exact ? "" : std::string(1, '\0'));
        EXPECT_EQ(
            after.substr(static_cast<std::size_t>(p.offset), static_cast<std::size_t>(p.size)),
            expected);
        EXPECT_EQ(after.substr(0, static_cast<std::size_t>(p.offset)),
                  std::string(static_cast<std::size_t>(p.offset), '\xA5'));
        EXPECT_EQ(after.substr(static_cast<std::size_t>(p.offset + p.size)),
                  std::string(kImageSize - static_cast<std::size_t>(p.offset + p.size), '\xA5'));
        // The edit itself lets in no more than its place holds.
        EXPECT_EQ(dialog->charLimit(p.id), p.size - (p.exact ? 0 : 1));
    }
    // Nothing of it went to a device: the image held no device data.
    EXPECT_EQ(sim->connectionCount(), 0);
}

}  // namespace
}  // namespace veskator::mainwin_test
