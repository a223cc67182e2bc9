// The journal of writes on real files: owner-only, bounded without losing a write that never
// ended, a cut line skipped with a note, and the words a write cut short is told in.

#include "model/write_journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "tests/support/patient_network.h"

namespace veskator {
namespace {

namespace fs = std::filesystem;

class WriteJournalTest : public ::testing::Test {
  protected:
    ~WriteJournalTest() override { fs::remove_all(dir); }
    // Each journal is another run's.
    WriteJournal journal(JournalBounds bounds = {}) {
        return WriteJournal(files, clock, {"anna", "bench", "run" + std::to_string(++m_runs)},
                            std::string(kJournalFile), bounds);
    }
    std::vector<std::string> lines() const {
        std::ifstream in(dir / "program/journal.jsonl");
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);) all.push_back(line);
        return all;
    }
    static WriteRecord load(std::string file) {
        return {"load", {"127.0.0.1", 4000}, std::move(file), "ab", "program/snapshots/s.bin",
                {},     {"A0", "A1", "A2"}};
    }

    fs::path dir = test_support::makeTempDir("veskator-journal");
    PosixFileSystem files{dir};
    FixedWallClock clock;
    int m_runs = 0;
};

// The journal is the owner's alone, and each entry is a whole line whatever a crash left.
TEST_F(WriteJournalTest, OwnerOnlyAndACutLineIsSkippedWithANoteAndEndedBeforeTheNextEntry) {
    WriteJournal first = journal();
    const auto begun = first.begin(load("site.bin"));
    ASSERT_TRUE(begun.problem.empty()) << begun.problem;
    struct stat st {};
    ASSERT_EQ(::stat((dir / "program/journal.jsonl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    first.blockReached(begun.id, "A0");
    // A crash in the middle of the next line.
    std::ofstream(dir / "program/journal.jsonl", std::ios::app) << R"({"entry":"block","jo)";

    WriteJournal next = journal();
    JournalContent content = next.read();
    ASSERT_EQ(content.notes,
              std::vector<std::string>{"program/journal.jsonl line 3 is cut or not JSON; skipped"});
    ASSERT_EQ(content.jobs.size(), 1u);
    EXPECT_EQ(content.jobs[0].reached, std::vector<std::string>{"A0"});
    EXPECT_EQ(next.interrupted().size(), 1u);
    // The next entry starts a line of its own: nothing is lost but the cut line.
    const auto second = next.begin(load("other.bin"));
    next.ended(second.id, {"verified", {"A0", "A1", "A2"}, {}, {}});
    content = next.read();
    EXPECT_EQ(content.notes.size(), 1u);
    ASSERT_EQ(content.jobs.size(), 2u);
    EXPECT_EQ(content.jobs[1].result->outcome, "verified");
    EXPECT_EQ(lines().size(), 5u);
    // A write under way of this run is not another run's cut short.
    const auto third = next.begin(load("third.bin"));
    EXPECT_EQ(next.interrupted().size(), 1u);
    EXPECT_EQ(journal().interrupted().size(), 2u);
    next.deviceWhole({"127.0.0.1", 4000}, "read");
    EXPECT_EQ(journal().interrupted().size(), 1u);  // the third one, still under way
    EXPECT_EQ(journal().interrupted()[0].id, third.id);
}

// Past a bound the oldest entries go, down to nine tenths of it, but never one of a write that
// has not ended.
TEST_F(WriteJournalTest, TheBoundsKeepTheNewestEntriesAndEveryEntryOfAnUnfinishedWrite) {
    struct Case {
        JournalBounds bounds;
        std::size_t maxLines;
    };
    for (const Case& c : {Case{{20, 1 << 20}, 20}, Case{{1000, 4000}, 1000}}) {
        fs::remove_all(dir / "program");
        WriteJournal j = journal(c.bounds);
        const auto unfinished = j.begin(load("cut.bin"));
        j.blockReached(unfinished.id, "A0");
        std::string last;
        for (int i = 0; i < 60; ++i) {
            // Appended: GCC 12 at -O3 takes a one-character prefix insert for an overlapping copy.
            const auto w = j.begin(load(std::string("f").append(std::to_string(i)).append(".bin")));
            ASSERT_TRUE(w.problem.empty()) << w.problem;
            j.ended(w.id, {"verified", {}, {}, {}});
            last = w.id;
        }
        const std::vector<std::string> all = lines();
        EXPECT_LE(all.size(), c.maxLines);
        std::size_t bytes = 0;
        for (const std::string& l : all) bytes += l.size() + 1;
        EXPECT_LE(bytes, c.bounds.bytes);
        const JournalContent content = j.read();
        EXPECT_TRUE(content.notes.empty());
        ASSERT_GE(content.jobs.size(), 2u);
        EXPECT_EQ(content.jobs.front().id, unfinished.id);
        EXPECT_EQ(content.jobs.front().reached, std::vector<std::string>{"A0"});
        EXPECT_EQ(content.jobs.back().id, last);
        EXPECT_TRUE(content.jobs.back().result.has_value());
        EXPECT_FALSE(content.jobs.front().ended());
    }
}

TEST_F(WriteJournalTest, AWriteCutShortIsToldWithWhatTheDeviceHoldsAndHowToMendIt) {
    struct Case {
        WriteRecord record;
        std::vector<std::string> reached;
        std::string time;
        std::string told;
    };
    // Field by field: GCC 12 at -O3 takes the aggregate's strings for uninitialised.
    WriteRecord set;
    set.kind = "set";
    set.device = Target{"10.0.0.9", 4001};
    set.snapshot = "program/snapshots/t.bin";
    set.settings = {{"options/EMAIL", "off", "on"}, {"options/PASSWORD", "**", "***"}};
    set.blocks = {"A3"};
    WriteRecord alarm;
    alarm.kind = "alarm code";
    alarm.device = Target{"10.0.0.9", 4001};
    alarm.file = "./alarmcode.txt";
    alarm.sha256 = "cd";
    const Case cases[] = {
        {load("site.bin"),
         {"A0", "A1", "A2"},
         "2026-12-08 15:20:07",
         "interrupted: 127.0.0.1:4000 holds A0 to A2 of site.bin since 15:20 (snapshot "
         "program/snapshots/s.bin); load the file again, or load the snapshot"},
        {load("site.bin"),
         {},
         "2026-12-07 09:05:00",
         "interrupted: 127.0.0.1:4000 holds no confirmed block of site.bin since 2026-12-07 09:05 "
         "(snapshot program/snapshots/s.bin); load the file again, or load the snapshot"},
        {set,
         {"A3"},
         "2026-12-08 08:00:00",
         "interrupted: 10.0.0.9:4001 holds A3 of the settings options/EMAIL, options/PASSWORD "
         "since 08:00 (snapshot program/snapshots/t.bin); write the settings again, or load the "
         "snapshot"},
        {alarm,
         {"chunk 64", "chunk 65", "chunk 66"},
         "2026-12-08 08:00:00",
         "interrupted: 10.0.0.9:4001 holds chunk 64 to 66 of ./alarmcode.txt since 08:00; write "
         "it again"},
    };
    for (const Case& c : cases) {
        JournalJob job;
        job.time = c.time;
        job.device = c.record.device.text();
        job.record = c.record;
        job.reached = c.reached;
        EXPECT_EQ(interruptedText(job, "2026-12-08"), c.told);
    }
    EXPECT_EQ(heldBlocksText({"A0", "A3", "A0"}), "A0 A3");
    EXPECT_EQ(sha256Hex(std::span<const std::uint8_t>()),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace veskator
