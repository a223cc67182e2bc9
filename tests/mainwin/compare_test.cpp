// Comparing the image with a parameter file: each changed setting once, under its window and
// label, passwords as stars, unnamed bytes counted; nothing is loaded and nothing is sent.

#include <array>
#include <string>

#include "model/settings_compare.h"
#include "resources/compare_dialog_template.h"
#include "resources/dialer_dialog_template.h"
#include "resources/options_dialog_template.h"
#include "tests/support/main_window_rig.h"

namespace veskator::mainwin_test {
namespace {

TEST_F(MainWindowTest, CompareNamesEachChangedSettingOfEveryWindowAndSendsNothing) {
    openWindow();
    setDeviceText(3, 0x00, std::string("oldpw\0", 6));
    readDevice();
    const auto before = state.workspace.bytes();
    std::array<std::uint8_t, kWorkspaceSize> file{};
    std::copy(before.begin(), before.end(), file.begin());
    const auto put = [&](std::size_t offset, std::string_view text) {
        std::copy(text.begin(), text.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    };
    put(imageOffset({0, 0x30}), std::string("4321\0", 5));   // main: Receiver Number 1
    put(imageOffset({3, 0x00}), std::string("newpw\0", 6));  // options: PASSWORD
    file[imageOffset({7, 0x3b})] = 2;                        // dialer: 2.4K
    file[kDialerDataOffset + 600] = 0x5a;                    // named by no window
    writeFile(path("other.bin"), std::string(file.begin(), file.end()));

    std::string report;
    windows.onModal(kCompareDialogResource,
                    [&](HeadlessDialog& d) { report = d.text(compare_ids::kReport); });
    dialog->replaceText(main_ids::kLoadName, "other.bin");
    dialog->click(main_ids::kCompare);

    const std::string expected =
        "3 settings differ (the device as read -> other.bin)\r\n"
        "\r\n[" +
        std::string(kMainCaption) +
        "]\r\n"
        "Receiver Number 1: \"" +
        readText(before, imageOffset({0, 0x30}), 16) +
        "\" -> \"4321\"\r\n"
        "\r\n[" +
        std::string(kOptionsCaption) +
        "]\r\n"
        "PASSWORD: \"*****\" -> \"***** (changed)\"\r\n"
        "\r\n[" +
        std::string(kDialerCaption) +
        "]\r\n"
        "RS232 baud rate: \"115.2K\" -> \"2.4K\"\r\n"
        "\r\n1 other bytes differ where no window names a setting\r\n";
    EXPECT_EQ(report, expected);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), state.workspace.bytes().begin()));
    pumpFor(2s);
    EXPECT_TRUE(blockWrites().empty());
    EXPECT_EQ(connections(), 0);

    // A file that cannot be read says so in the status line.
    dialog->replaceText(main_ids::kLoadName, "missing.bin");
    dialog->click(main_ids::kCompare);
    EXPECT_NE(shown(main_ids::kStatusLine).find("compare: missing.bin cannot be read"),
              std::string::npos);
}

}  // namespace
}  // namespace veskator::mainwin_test
