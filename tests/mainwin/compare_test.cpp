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

    std::string summary;
    std::string rows;
    TableContent table;
    windows.onModal(kCompareDialogResource, [&](HeadlessDialog& d) {
        summary = d.text(compare_ids::kSummary);
        rows = d.text(compare_ids::kReport);
        table = d.table(compare_ids::kReport);
    });
    dialog->replaceText(main_ids::kLoadName, "other.bin");
    dialog->click(main_ids::kCompare);

    EXPECT_EQ(summary, "3 settings differ (device now -> other.bin)");
    EXPECT_EQ(table.columns, (std::vector<std::string>{"setting", "device now", "other.bin"}));
    const std::string expected = std::string(kMainCaption) + "\n" + "Receiver Number 1\t" +
                                 readText(before, imageOffset({0, 0x30}), 16) + "\t4321\n" +
                                 std::string(kOptionsCaption) +
                                 "\n"
                                 "PASSWORD\t*****\t***** (changed)\n" +
                                 std::string(kDialerCaption) +
                                 "\n"
                                 "RS232 baud rate\t115.2K\t2.4K\n"
                                 "1 other bytes differ\n"
                                 "dialer data offset 0x0258\t0x00\t0x5a\n";
    EXPECT_EQ(rows, expected);
    ASSERT_EQ(table.rows.size(), 4u);
    EXPECT_TRUE(table.rows.front().open);
    EXPECT_TRUE(table.rows.back().last);
    EXPECT_FALSE(table.rows.back().open);
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

// The system menu's "Compare two files...": the file named for saving against the one named for
// loading, as the command line's diff compares them; a file missing says so.
TEST_F(MainWindowTest, CompareTwoFilesShowsWhatTheLoadFileChangesInTheSaveFile) {
    openWindow();
    std::array<std::uint8_t, kImageSize> first{};
    std::array<std::uint8_t, kImageSize> second{};
    second[imageOffset({0, 0x30})] = '7';  // Receiver Number 1
    writeFile(path("a.bin"), std::string(first.begin(), first.end()));
    writeFile(path("b.bin"), std::string(second.begin(), second.end()));
    TableContent table;
    windows.onModal(kCompareDialogResource,
                    [&](HeadlessDialog& d) { table = d.table(compare_ids::kReport); });
    dialog->replaceText(main_ids::kSaveName, "a.bin");
    dialog->replaceText(main_ids::kLoadName, "b.bin");
    dialog->systemCommand(kCompareFilesCommand);
    EXPECT_EQ(table.columns, (std::vector<std::string>{"setting", "a.bin", "b.bin"}));
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(tableText(table.rows), std::string(kMainCaption) + "\nReceiver Number 1\t\t7\n");
    EXPECT_EQ(connections(), 0);

    table = {};
    dialog->replaceText(main_ids::kSaveName, "gone.bin");
    dialog->systemCommand(kCompareFilesCommand);
    EXPECT_TRUE(table.columns.empty());
    EXPECT_NE(shown(main_ids::kStatusLine).find("compare: gone.bin cannot be read"),
              std::string::npos);
}

}  // namespace
}  // namespace veskator::mainwin_test
