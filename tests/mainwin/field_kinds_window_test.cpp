// A field's kind, as the window applies it: a box takes only the keys its kind allows and says why
// it refused one; a whole text the kind cannot hold is not written; and what the window stores is
// byte for byte what the command line's set stores.

#include <array>
#include <string>
#include <variant>

#include "model/main_fields.h"
#include "model/settings.h"
#include "resources/main_dialog_template.h"
#include "tests/support/main_window_rig.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;

class FieldKindsWindowTest : public MainWindowTest {};

TEST_F(FieldKindsWindowTest, ABoxTakesWhatItsKindAllowsAndStoresWhatSetStores) {
    openWindow();
    readDevice();

    // A letter in a port box is refused as it is typed, and the status line says why.
    dialog->replaceText(kServerPort1, "");
    dialog->typeText(kServerPort1, "5a0");
    EXPECT_EQ(shown(kServerPort1), "50");
    EXPECT_NE(shown(kStatusLine).find("IP PORT NUMBER 1 takes a port: decimal digits, 1 to 65535"),
              std::string::npos)
        << shown(kStatusLine);
    dialog->typeText(kTargetPort, "x");
    EXPECT_NE(shown(kStatusLine).find("takes a port"), std::string::npos);

    // Typed and committed, each kind stores what set would store into the same workspace.
    struct Typed {
        ControlId box;
        const char* setting;
        const char* value;
    };
    for (const Typed& t : {Typed{kServerPort1, "IP PORT NUMBER 1", "5001"},
                           Typed{kServerIp1, "Server IP Address 1", "10.1.2.3"},
                           Typed{kServerIp2, "Server IP Address 2", "rx2.alarm.example"},
                           Typed{kReceiver1, "Receiver Number 1", "R-1 x"}}) {
        SCOPED_TRACE(t.setting);
        std::array<std::uint8_t, kWorkspaceSize> expected{};
        std::copy(state.workspace.bytes().begin(), state.workspace.bytes().end(), expected.begin());
        const auto assignment = checkAssignment(t.setting, t.value);
        ASSERT_TRUE(std::holds_alternative<Assignment>(assignment));
        EXPECT_FALSE(std::get<Assignment>(assignment).setting->store(expected, t.value));
        dialog->replaceText(t.box, t.value);
        ASSERT_TRUE(pumpUntilSettled());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), state.workspace.bytes().begin()));
        EXPECT_EQ(deviceBytes(0, kImageSize),
                  std::string(expected.begin(), expected.begin() + kImageSize));
    }

    // A whole text the kind cannot hold (a paste, or digits out of range) is not written: the box
    // goes back to what the device holds.
    sim->clearEvents();
    dialog->replaceText(kServerPort1, "70000");
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_TRUE(blockWrites().empty());
    EXPECT_EQ(shown(kServerPort1), "5001");
    EXPECT_NE(shown(kStatusLine).find("IP PORT NUMBER 1 not written: takes a port"),
              std::string::npos)
        << shown(kStatusLine);
    dialog->replaceText(kServerIp1, "999.1.1.1");
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_TRUE(blockWrites().empty());
    EXPECT_EQ(shown(kServerIp1), "10.1.2.3");
}

}  // namespace
}  // namespace veskator::mainwin_test
