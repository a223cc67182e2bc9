// The three windows and the settings by name (what get prints, set stores and the comparison
// reports) show every field of a device alike, whatever its memory holds.

#include <random>

#include "model/settings.h"
#include "options/options_dlg.h"
#include "tests/dialer/dialer_fixture.h"

namespace veskator::dialer_test {
namespace {

class FieldsAgreeTest : public DialerWindowTest {};

TEST_F(FieldsAgreeTest, TheWindowsShowEveryFieldOfARandomImageAsTheSettingsDo) {
    openWindow();
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        std::vector<std::uint8_t> memory(kImageSize);
        // Mostly printable, with zero bytes, 13s and high bytes among them.
        for (std::uint8_t& b : memory) {
            const unsigned r = random() % 16;
            b = static_cast<std::uint8_t>(r == 0   ? 0
                                          : r == 1 ? 13
                                          : r == 2 ? 0x80 + random() % 128
                                                   : 0x20 + random() % 95);
        }
        setDeviceBytes(0, 0, memory);
        readDevice();
        COptionsDlg options(services, app->session());
        HeadlessDialog& optionsDialog = windows.open(options);
        reopen();
        const std::map<SettingsWindow, HeadlessDialog*> shownIn{
            {SettingsWindow::Main, dialog},
            {SettingsWindow::Options, &optionsDialog},
            {SettingsWindow::Dialer, win}};
        int compared = 0;
        for (const Setting& s : allSettings()) {
            // Passwords show stars, never the stored characters.
            if (s.control == 0 || s.secret) continue;
            SCOPED_TRACE(s.qualifiedName());
            HeadlessDialog& d = *shownIn.at(s.window);
            const std::string shown = s.kind == SettingKind::OnOff
                                          ? (d.isChecked(s.control) ? "on" : "off")
                                          : d.text(s.control);
            EXPECT_EQ(shown, s.show(state.workspace.bytes()));
            ++compared;
        }
        EXPECT_GT(compared, 80);
        optionsDialog.requestClose();
    }
}

}  // namespace
}  // namespace veskator::dialer_test
