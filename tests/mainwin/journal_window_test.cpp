// The main window and the journal of writes: a load an earlier run left half-done is said first
// and stays until the device is read again, an edit's write is recorded by setting, and the
// system menu's history lists it all.

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "resources/history_dialog_template.h"
#include "tests/support/main_window_rig.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;
using Json = nlohmann::json;

std::vector<Json> journalEntries(const std::filesystem::path& dir) {
    std::ifstream in(dir / "program/journal.jsonl");
    std::vector<Json> all;
    for (std::string line; std::getline(in, line);) {
        all.push_back(Json::parse(line, nullptr, false));
    }
    return all;
}

TEST_F(MainWindowTest, ALoadCutShortIsSaidFirstUntilTheDeviceIsReadAndTheHistoryListsEveryWrite) {
    const std::string device = "127.0.0.1:" + std::to_string(sim->port());
    std::filesystem::create_directories(dir / "program");
    const auto entry = [&](std::string text) {
        return "{\"device\":\"" + device + "\"," + text + "}\n";
    };
    // A load killed after two blocks, one that ended, and the line a crash cut.
    writeFile(dir / "program/journal.jsonl",
              entry(R"("entry":"begin","job":"r-1","time":"2026-12-08 15:20:07","user":"ann",)"
                    R"("kind":"load","file":"site.bin","snapshot":"program/snapshots/s.bin")") +
                  entry(R"("entry":"block","job":"r-1","block":"A0")") +
                  entry(R"("entry":"block","job":"r-1","block":"A1")") +
                  entry(R"("entry":"begin","job":"r-2","time":"2026-12-08 15:30:00","kind":"load",)"
                        R"("file":"old.bin")") +
                  entry(R"("entry":"end","job":"r-2","outcome":"verified")") +
                  R"({"entry":"block","job":"r-)");

    openWindow();
    const std::string told = "interrupted: " + device +
                             " holds A0 to A1 of site.bin since 15:20 (snapshot "
                             "program/snapshots/s.bin); load the file again, or load the snapshot";
    EXPECT_EQ(shown(kMessageWindow),
              told + "; program/journal.jsonl line 6 is cut or not JSON; skipped");
    EXPECT_NE(shown(kStatusLine).find(told), std::string::npos) << shown(kStatusLine);
    // Start/Go says nothing new, and the words stay while the read runs.
    dialog->click(kStartGo);
    pumpFor(500ms);
    EXPECT_NE(shown(kStatusLine).find(told), std::string::npos) << shown(kStatusLine);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(shown(kStatusLine).find("interrupted"), std::string::npos) << shown(kStatusLine);
    const Json closed = journalEntries(dir).back();
    EXPECT_EQ(closed["entry"], "closed");
    EXPECT_EQ(closed["jobs"], Json::array({"r-1"}));
    EXPECT_EQ(closed["by"], "read");

    // An edit is recorded before its block goes, by setting.
    sim->clearEvents();
    const std::string before = shown(kServerPort1);
    dialog->replaceText(kServerPort1, "5001");
    ASSERT_TRUE(pumpUntilSettled());
    ASSERT_EQ(blockWrites().size(), 1u);
    const std::vector<Json> entries = journalEntries(dir);
    ASSERT_GE(entries.size(), 3u);
    const Json& edit = entries[entries.size() - 3];
    EXPECT_EQ(edit["kind"], "edit");
    EXPECT_EQ(edit["blocks"], Json::array({"A0"}));
    ASSERT_EQ(edit["settings"].size(), 1u);
    EXPECT_EQ(edit["settings"][0]["before"], before);
    EXPECT_EQ(edit["settings"][0]["after"], "5001");
    EXPECT_EQ(entries[entries.size() - 2]["block"], "A0");
    EXPECT_EQ(entries.back()["outcome"], "written");

    std::string report;
    windows.onModal(kHistoryDialogResource,
                    [&](HeadlessDialog& d) { report = d.text(history_ids::kReport); });
    dialog->systemCommand(kHistoryCommand);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < report.size();) {
        const std::size_t end = report.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << report;
        lines.push_back(report.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 3u) << report;
    EXPECT_NE(lines[0].find("  " + device + "  edit main/"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"5001\" [A0]  written"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "2026-12-08 15:30:00  @  " + device + "  load old.bin  verified");
    EXPECT_EQ(lines[2], "2026-12-08 15:20:07  ann@  " + device +
                            "  load site.bin; snapshot program/snapshots/s.bin  interrupted "
                            "(holds A0 to A1), whole again by read");
}

}  // namespace
}  // namespace veskator::mainwin_test
