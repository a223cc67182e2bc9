// What the technician typed or clicked reaches the device, whatever ends the edit (Enter, a save,
// closing the window) and however fast the link ticks; the window shows what the device holds.

#include <string>

#include "model/main_fields.h"
#include "resources/main_dialog_template.h"
#include "tests/support/main_window_rig.h"
#include "tests/support/rig.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;

class NothingLostTest : public MainWindowTest {
  protected:
    std::string deviceText(int block, int offset, std::size_t size) const {
        return deviceBytes(
            static_cast<std::size_t>(block) * kBlockSize + static_cast<std::size_t>(offset), size);
    }
};

TEST_F(NothingLostTest, EditsReachTheDeviceWhateverEndsThem) {
    openWindow();
    readDevice();

    // During a full read the link ticks at every reply, yet a field commits only a second after
    // its last keystroke, not half-typed.
    sim->setFault(sim::FaultMode::SplitReplies);  // a read that lasts
    dialog->click(kStartGo);
    // (A loaded machine may let the read finish first; the commit must wait all the same.)
    ASSERT_TRUE(pumpUntil([&] {
        const Transfer* read = engine->status().transfer(TransferKind::FullRead);
        return read == nullptr || read->done >= 2;
    }));
    dialog->replaceText(kServerPort1, "6");
    pumpFor(500ms);
    dialog->replaceText(kServerPort1, "60");
    sim->setFault(sim::FaultMode::None);
    pumpFor(950ms);
    EXPECT_TRUE(dlg->commitPending(main_ids::kServerPort1));
    pumpFor(100ms);
    EXPECT_FALSE(dlg->commitPending(main_ids::kServerPort1));
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceText(0, 0x60, 3), std::string("60\0", 3));
    ASSERT_EQ(blockWrites().size(), 1u);

    // A save right after typing holds what was typed.
    dialog->replaceText(kServerPort1, "7001");
    dialog->replaceText(kSaveName, "now.par");
    dialog->click(kSave);
    EXPECT_EQ(readFile(path("now.par")).substr(0x60, 5), std::string("7001\0", 5));

    // Enter in an edit commits it at once and never closes the window.
    dialog->replaceText(kReceiver1, "R1");
    dialog->pressEnter(kReceiver1);
    pumpFor(20ms);
    EXPECT_FALSE(dialog->isClosed());
    EXPECT_FALSE(dlg->commitPending(main_ids::kReceiver1));

    // Escape with changes still to go: the window stays until they are written, then closes.
    dialog->replaceText(kServerPort2, "9999");
    dialog->requestClose();
    EXPECT_FALSE(dialog->isClosed());
    EXPECT_EQ(shown(kStatusLine).rfind("writing ", 0), 0u) << shown(kStatusLine);
    EXPECT_NE(shown(kStatusLine).find(" pending changes"), std::string::npos);
    ASSERT_TRUE(pumpUntil([&] { return dialog->isClosed(); }));
    // Sent is not yet taken in: the device is asked once it has seen every connection end.
    ASSERT_TRUE(test_support::deviceQuiet(*sim));
    EXPECT_EQ(deviceText(0, 0x60, 5), std::string("7001\0", 5));
    EXPECT_EQ(deviceText(0, 0x30, 3), std::string("R1\0", 3));
    EXPECT_EQ(deviceText(0, 0x50, 5), std::string("9999\0", 5));
    EXPECT_TRUE(dialog->questions().empty());
}

// A device that takes nothing cannot keep the window open: the write is given up within the
// link's bounds, the window says what was not written and where it is kept, and closes.
TEST_F(NothingLostTest, ClosingWhileTheDeviceDoesNotAnswerSaysWhatWasNotWrittenAndCloses) {
    openWindow();
    readDevice();
    sim->setFault(sim::FaultMode::Refuse);
    network.setPatience(5ms);
    bool answer = false;
    dialog->onAsk([&](const std::string&) { return answer; });

    dialog->replaceText(kReceiver2, "77");
    dialog->requestClose();
    ASSERT_FALSE(dialog->isClosed());
    // Asked again while the writes go out: "no" keeps writing.
    dialog->requestClose();
    ASSERT_EQ(dialog->questions().size(), 1u);
    EXPECT_NE(dialog->questions()[0].find("Close without them?"), std::string::npos);
    EXPECT_FALSE(dialog->isClosed());

    ASSERT_TRUE(pumpUntil([&] { return shown(kMessageWindow).starts_with("A1 could not"); }));
    const std::string said = shown(kMessageWindow);
    EXPECT_TRUE(said.starts_with(
        "A1 could not be written to the device; the settings are kept in program/snapshots/"))
        << said;
    EXPECT_NE(shown(kStatusLine).find(said), std::string::npos) << shown(kStatusLine);
    const auto start = clock.now();
    ASSERT_TRUE(pumpUntil([&] { return dialog->isClosed(); }));
    EXPECT_LE(clock.now() - start, kUnwrittenNoticePause + 100ms);
    EXPECT_EQ(dialog->questions().size(), 1u);
    // The snapshot holds what was typed, ready to load once the device answers.
    const std::string kept = readFile(path(said.substr(said.find("program/snapshots/"))));
    ASSERT_EQ(kept.size(), kWorkspaceSize);
    EXPECT_EQ(kept.substr(kBlockSize + 0x10, 3), std::string("77\0", 3));
}

TEST_F(NothingLostTest, AnOptionByteSentAsTwelveIsShownAsTheDeviceHasIt) {
    const std::uint8_t byeAndEmail = 0x05;
    setDeviceBytes(0, 0x1f, std::span(&byeAndEmail, 1));
    openWindow();
    readDevice();
    ASSERT_TRUE(dialog->isChecked(kByeCommand));

    // 0x05 with "sending to 2nd server" is 13, which no written block may hold: 12 goes.
    dialog->click(kSecondServer);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceText(0, 0x1f, 1), "\x0c");
    EXPECT_EQ(state.optionCopies().at({0, 0x1f}), 0x0c);
    EXPECT_FALSE(dialog->isChecked(kByeCommand));
    EXPECT_TRUE(dialog->isChecked(kEmail));
    EXPECT_TRUE(dialog->isChecked(kSecondServer));
    EXPECT_NE(shown(kStatusLine).find("A0 0x1f held 13"), std::string::npos) << shown(kStatusLine);
}

}  // namespace
}  // namespace veskator::mainwin_test
