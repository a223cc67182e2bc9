#pragma once
// The journal of writes: one JSON line for each write begun (what, to which device, by whom, the
// snapshot kept first), each block that reached the device and each end. It lives in the working
// folder, is shared by the window and the command line, and is made durable before the frame it
// announces goes out, so that a write cut short by a crash or a kill is named at the next start.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "model/device_target.h"
#include "platform/file_system.h"
#include "platform/wall_clock.h"

namespace veskator {

inline constexpr std::string_view kJournalFile = "./program/journal.jsonl";

// The journal keeps the newest entries within both bounds, and every entry of a write that has
// not ended. Past a bound it is rewritten down to nine tenths of it, so rewrites are rare.
struct JournalBounds {
    std::size_t entries = 10000;
    std::size_t bytes = 10 * 1024 * 1024;
};

// Who writes, named in every entry; `run` tells this run's writes from any other's.
struct JournalAuthor {
    std::string user;
    std::string host;
    std::string run;
};
// The user and machine this process runs as.
JournalAuthor thisAuthor();

// Lower-case hex of the bytes' SHA-256.
std::string sha256Hex(std::span<const std::uint8_t> bytes);

struct JournalSetting {
    std::string name;  // "options/MAIL SERVER"
    std::string before;
    std::string after;
};

// What a write is, as its first entry records it.
struct WriteRecord {
    std::string kind;  // "load", "set", "edit", "alarm code", "dialer upload", "chunk"
    Target device;
    std::string file;
    std::string sha256;
    std::string snapshot;
    std::vector<JournalSetting> settings;  // passwords as stars
    std::vector<std::string> blocks;       // the image blocks it writes
};

struct WriteResult {
    std::string outcome;  // "verified", "written", "stopped"
    std::vector<std::string> verified;
    std::vector<std::string> differing;
    std::string reason;
};

// A write as the journal tells it.
struct JournalJob {
    std::string id;
    std::string time;  // "2026-12-08 15:20:07", local
    std::string user;
    std::string host;
    std::string device;  // "127.0.0.1:4000"
    WriteRecord record;
    std::vector<std::string> reached;  // the blocks that reached the device, in order
    std::optional<WriteResult> result;
    std::string closedBy;  // cut short, then made whole by a later read or write
    bool ended() const { return result.has_value() || !closedBy.empty(); }
};

struct JournalContent {
    std::vector<JournalJob> jobs;    // oldest first
    std::vector<std::string> notes;  // lines skipped
};

class WriteJournal {
  public:
    WriteJournal(FileSystem& files, const WallClock& clock, JournalAuthor author,
                 std::string path = std::string(kJournalFile), JournalBounds bounds = {});

    // The entry before a write's first frame: its id, or why it could not be kept ("journal
    // program/journal.jsonl cannot be written: ...; nothing was sent").
    struct Begun {
        std::string id;
        std::string problem;
    };
    Begun begin(const WriteRecord& record);
    // A write under way is not stopped when a later entry cannot be kept (it would leave the
    // device half-written, which is what the journal is for): lost() counts those.
    void blockReached(const std::string& id, std::string_view block);
    void ended(const std::string& id, const WriteResult& result);
    // The device was read whole, or written whole: every earlier write of it that was cut short
    // is closed.
    void deviceWhole(const Target& device, std::string_view by);

    JournalContent read() const;
    // The writes that began and never ended, other than this run's own under way.
    std::vector<JournalJob> interrupted() const;
    std::vector<JournalJob> interrupted(const JournalContent& content) const;

    std::string shownPath() const;
    int lost() const { return m_lost; }

  private:
    std::error_code append(std::string line);
    void compact();
    std::string now() const;

    FileSystem& m_files;
    const WallClock& m_clock;
    JournalAuthor m_author;
    std::string m_path;
    JournalBounds m_bounds;
    int m_nextId = 1;
    std::set<std::string> m_open;  // this run's writes under way
    bool m_sized = false;
    std::size_t m_entries = 0;
    std::size_t m_bytes = 0;
    int m_lost = 0;
};

// "A0 to A2", "chunk 64 to 66", "A0 A3".
std::string heldBlocksText(const std::vector<std::string>& blocks);
// "interrupted: 127.0.0.1:4000 holds A0 to A2 of site.bin since 15:20 (snapshot
// program/snapshots/...); load the file again, or load the snapshot". `today` is "2026-12-08":
// a write of another day names its date.
std::string interruptedText(const JournalJob& job, std::string_view today);
std::string interruptedText(const std::vector<JournalJob>& jobs, std::string_view today,
                            std::string_view separator);

// The writes newest first, one a line: time, user, device, what, outcome (unfinished ones
// "interrupted"). Only those of `devices` ("HOST" or "HOST:PORT"; none: all) from `since` on.
struct HistoryFilter {
    std::vector<std::string> devices;
    std::string since;  // "2026-12-08" or "2026-12-08 15:20"; empty: all
};
std::vector<JournalJob> historyOf(const JournalContent& content, const HistoryFilter& filter);
std::string historyText(const std::vector<JournalJob>& newestFirst, std::string_view lineEnd);
std::string historyJson(const std::vector<JournalJob>& newestFirst,
                        const std::vector<std::string>& notes);

}  // namespace veskator
