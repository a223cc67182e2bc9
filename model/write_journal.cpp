#include "model/write_journal.h"

#include <nettle/sha2.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

namespace veskator {
namespace {

using Json = nlohmann::json;

// Device texts may hold any 8-bit character: what is not UTF-8 is kept as a replacement mark
// rather than losing the entry.
std::string lineOf(const Json& entry) {
    return entry.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string textOf(const Json& entry, const char* key) {
    const auto it = entry.find(key);
    return it != entry.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::vector<std::string> textsOf(const Json& entry, const char* key) {
    std::vector<std::string> texts;
    const auto it = entry.find(key);
    if (it == entry.end() || !it->is_array()) return texts;
    for (const Json& item : *it) {
        if (item.is_string()) texts.push_back(item.get<std::string>());
    }
    return texts;
}

std::string deviceText(const Target& device) {
    Target trimmed{std::string(trimmedHost(device.host)), device.port};
    return trimmed.text();
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

// The lines of the journal as read: each with its number, the last one possibly cut.
struct JournalLines {
    std::vector<std::string> lines;
    std::size_t bytes = 0;
    bool endsWithNewline = true;
    bool cutOff = false;  // larger than the reader takes
};

JournalLines readLines(FileSystem& files, const std::string& path, std::size_t limit) {
    JournalLines result;
    auto file = files.open(path, FileOpen::ReadExisting);
    if (!file) return result;
    std::string all;
    std::array<std::uint8_t, 65536> buffer{};
    while (all.size() <= limit) {
        const std::size_t n = file->read(buffer);
        if (n == 0) break;
        all.append(reinterpret_cast<const char*>(buffer.data()), n);
    }
    if (all.size() > limit) {
        result.cutOff = true;
        all.resize(limit);
    }
    result.bytes = all.size();
    result.endsWithNewline = all.empty() || all.back() == '\n';
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        result.lines.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

// Ids of the writes begun and neither ended nor closed.
std::set<std::string> unfinishedIds(const std::vector<std::string>& lines) {
    std::set<std::string> open;
    for (const std::string& line : lines) {
        const Json entry = Json::parse(line, nullptr, false);
        if (!entry.is_object()) continue;
        const std::string kind = textOf(entry, "entry");
        if (kind == "begin") open.insert(textOf(entry, "job"));
        if (kind == "end") open.erase(textOf(entry, "job"));
        if (kind == "closed") {
            for (const std::string& id : textsOf(entry, "jobs")) open.erase(id);
        }
    }
    return open;
}

// What a reader takes at most: a journal within its bounds, and room for what another program
// added meanwhile.
std::size_t readLimit(const JournalBounds& bounds) { return 2 * bounds.bytes + 65536; }

}  // namespace

JournalAuthor thisAuthor() {
    JournalAuthor author;
    if (const passwd* user = ::getpwuid(::geteuid()); user != nullptr && user->pw_name != nullptr) {
        author.user = user->pw_name;
    } else {
        author.user = "uid " + std::to_string(::geteuid());
    }
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) == 0) author.host = host.data();
    author.run = std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr));
    return author;
}

std::string sha256Hex(std::span<const std::uint8_t> bytes) {
    sha256_ctx context{};
    sha256_init(&context);
    sha256_update(&context, bytes.size(), bytes.data());
    std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
    sha256_digest(&context, digest.size(), digest.data());
    static constexpr std::string_view kHex = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

WriteJournal::WriteJournal(FileSystem& files, const WallClock& clock, JournalAuthor author,
                           std::string path, JournalBounds bounds)
    : m_files(files),
      m_clock(clock),
      m_author(std::move(author)),
      m_path(std::move(path)),
      m_bounds(bounds) {}

std::string WriteJournal::shownPath() const {
    return m_path.starts_with("./") ? m_path.substr(2) : m_path;
}

std::string WriteJournal::now() const { return dateTimeText(m_clock.localNow()); }

std::error_code WriteJournal::append(std::string line) {
    if (!m_sized) {
        const JournalLines lines = readLines(m_files, m_path, readLimit(m_bounds));
        m_entries = static_cast<std::size_t>(std::count_if(
            lines.lines.begin(), lines.lines.end(), [](const auto& l) { return !l.empty(); }));
        m_bytes = lines.bytes;
        // A line cut by a crash is ended first: the new entry must not join it.
        if (!lines.endsWithNewline) line.insert(0, 1, '\n');
        const std::filesystem::path parent = std::filesystem::path(m_path).parent_path();
        if (!parent.empty()) m_files.makeDirectory(parent.string(), FileAccess::OwnerOnly);
    }
    line += '\n';
    const std::error_code error = m_files.appendDurably(m_path, line, FileAccess::OwnerOnly);
    if (error) return error;
    m_sized = true;
    ++m_entries;
    m_bytes += line.size();
    if (m_entries > m_bounds.entries || m_bytes > m_bounds.bytes) compact();
    return {};
}

// The newest entries within nine tenths of each bound, and every entry of a write that has not
// ended, whatever its age; a line that is no entry goes.
void WriteJournal::compact() {
    const JournalLines read = readLines(m_files, m_path, readLimit(m_bounds));
    const std::set<std::string> open = unfinishedIds(read.lines);
    const std::size_t entryRoom = m_bounds.entries - m_bounds.entries / 10;
    const std::size_t byteRoom = m_bounds.bytes - m_bounds.bytes / 10;
    std::vector<const std::string*> kept;
    std::size_t entries = 0;
    std::size_t bytes = 0;
    for (auto it = read.lines.rbegin(); it != read.lines.rend(); ++it) {
        const Json entry = Json::parse(*it, nullptr, false);
        if (!entry.is_object()) continue;
        const bool unfinished = open.contains(textOf(entry, "job"));
        const bool fits = entries < entryRoom && bytes + it->size() + 1 <= byteRoom;
        if (!fits && !unfinished) continue;
        kept.push_back(&*it);
        ++entries;
        bytes += it->size() + 1;
    }
    std::string text;
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) text += **it + "\n";
    // Written beside it and renamed over it: a crash leaves the old journal or the new one whole.
    if (m_files.writeFileAtomically(m_path, text, FileAccess::OwnerOnly)) {
        m_entries = entries;
        m_bytes = text.size();
    }
}

WriteJournal::Begun WriteJournal::begin(const WriteRecord& record) {
    Begun begun;
    const std::string id = m_author.run + "-" + std::to_string(m_nextId++);
    Json settings = Json::array();
    for (const JournalSetting& s : record.settings) {
        settings.push_back({{"name", s.name}, {"before", s.before}, {"after", s.after}});
    }
    const Json entry = {
        {"entry", "begin"},        {"job", id},
        {"time", now()},           {"user", m_author.user},
        {"host", m_author.host},   {"device", deviceText(record.device)},
        {"kind", record.kind},     {"file", record.file},
        {"sha256", record.sha256}, {"snapshot", record.snapshot},
        {"settings", settings},    {"blocks", record.blocks},
    };
    if (const std::error_code error = append(lineOf(entry))) {
        begun.problem = "journal " + shownPath() + " cannot be written: " + error.message() +
                        "; nothing was sent";
        return begun;
    }
    m_open.insert(id);
    begun.id = id;
    return begun;
}

void WriteJournal::blockReached(const std::string& id, std::string_view block) {
    const Json entry = {{"entry", "block"}, {"job", id}, {"time", now()}, {"block", block}};
    if (append(lineOf(entry))) ++m_lost;
}

void WriteJournal::ended(const std::string& id, const WriteResult& result) {
    const Json entry = {{"entry", "end"},
                        {"job", id},
                        {"time", now()},
                        {"outcome", result.outcome},
                        {"verified", result.verified},
                        {"differing", result.differing},
                        {"reason", result.reason}};
    m_open.erase(id);
    if (append(lineOf(entry))) ++m_lost;
}

void WriteJournal::deviceWhole(const Target& device, std::string_view by) {
    const std::string name = deviceText(device);
    std::vector<std::string> ids;
    for (const JournalJob& job : interrupted()) {
        if (job.device == name) ids.push_back(job.id);
    }
    if (ids.empty()) return;
    const Json entry = {{"entry", "closed"},     {"time", now()},  {"user", m_author.user},
                        {"host", m_author.host}, {"device", name}, {"jobs", ids},
                        {"by", std::string(by)}};
    if (append(lineOf(entry))) ++m_lost;
}

JournalContent WriteJournal::read() const {
    JournalContent content;
    const JournalLines read = readLines(m_files, m_path, readLimit(m_bounds));
    std::map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < read.lines.size(); ++i) {
        const std::string& line = read.lines[i];
        if (line.empty()) continue;
        const Json entry = Json::parse(line, nullptr, false);
        const std::string kind = entry.is_object() ? textOf(entry, "entry") : std::string();
        if (kind.empty()) {
            content.notes.push_back(shownPath() + " line " + std::to_string(i + 1) +
                                    " is cut or not JSON; skipped");
            continue;
        }
        const std::string id = textOf(entry, "job");
        const auto job = byId.find(id);
        if (kind == "begin" && job == byId.end()) {
            JournalJob begun;
            begun.id = id;
            begun.time = textOf(entry, "time");
            begun.user = textOf(entry, "user");
            begun.host = textOf(entry, "host");
            begun.device = textOf(entry, "device");
            begun.record.kind = textOf(entry, "kind");
            begun.record.file = textOf(entry, "file");
            begun.record.sha256 = textOf(entry, "sha256");
            begun.record.snapshot = textOf(entry, "snapshot");
            begun.record.blocks = textsOf(entry, "blocks");
            if (const auto s = entry.find("settings"); s != entry.end() && s->is_array()) {
                for (const Json& setting : *s) {
                    if (!setting.is_object()) continue;
                    begun.record.settings.push_back({textOf(setting, "name"),
                                                     textOf(setting, "before"),
                                                     textOf(setting, "after")});
                }
            }
            byId[id] = content.jobs.size();
            content.jobs.push_back(std::move(begun));
        } else if (kind == "block" && job != byId.end()) {
            content.jobs[job->second].reached.push_back(textOf(entry, "block"));
        } else if (kind == "end" && job != byId.end()) {
            content.jobs[job->second].result =
                WriteResult{textOf(entry, "outcome"), textsOf(entry, "verified"),
                            textsOf(entry, "differing"), textOf(entry, "reason")};
        } else if (kind == "closed") {
            for (const std::string& closed : textsOf(entry, "jobs")) {
                if (const auto it = byId.find(closed); it != byId.end()) {
                    content.jobs[it->second].closedBy = textOf(entry, "by");
                }
            }
        }
    }
    if (read.cutOff) {
        content.notes.push_back(shownPath() + " holds more than " +
                                std::to_string(readLimit(m_bounds)) +
                                " bytes; the rest was not read");
    }
    return content;
}

std::vector<JournalJob> WriteJournal::interrupted() const { return interrupted(read()); }

std::vector<JournalJob> WriteJournal::interrupted(const JournalContent& content) const {
    std::vector<JournalJob> jobs;
    for (const JournalJob& job : content.jobs) {
        if (!job.ended() && !m_open.contains(job.id)) jobs.push_back(job);
    }
    return jobs;
}

std::string heldBlocksText(const std::vector<std::string>& blocks) {
    // Each name is a prefix and a number: "A3", "chunk 64".
    std::string prefix;
    std::set<int> numbers;
    bool oneKind = true;
    for (const std::string& block : blocks) {
        std::size_t digits = block.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(block[digits - 1])) != 0) {
            --digits;
        }
        if (digits == block.size() || block.size() - digits > 6) {
            oneKind = false;
            continue;
        }
        const std::string head = block.substr(0, digits);
        if (numbers.empty()) prefix = head;
        oneKind = oneKind && head == prefix;
        numbers.insert(std::stoi(block.substr(digits)));
    }
    const bool run = oneKind && numbers.size() > 1 &&
                     *numbers.rbegin() - *numbers.begin() + 1 == static_cast<int>(numbers.size());
    if (run) {
        const std::string last = std::to_string(*numbers.rbegin());
        return prefix + std::to_string(*numbers.begin()) + " to " +
               (prefix == "A" ? prefix + last : last);
    }
    std::vector<std::string> unique;
    for (const std::string& block : blocks) {
        if (std::find(unique.begin(), unique.end(), block) == unique.end()) unique.push_back(block);
    }
    return joined(unique, " ");
}

namespace {

std::string whatOf(const WriteRecord& record) {
    if (!record.file.empty()) return record.file;
    if (record.kind == "set" && !record.settings.empty()) {
        std::vector<std::string> names;
        for (const JournalSetting& s : record.settings) names.push_back(s.name);
        return "the settings " + joined(names, ", ");
    }
    if (record.kind == "edit") return "the edited settings";
    if (record.kind == "dialer upload") return "the dialer list";
    return "the " + (record.kind.empty() ? std::string("write") : record.kind);
}

}  // namespace

std::string interruptedText(const JournalJob& job, std::string_view today) {
    const WriteRecord& record = job.record;
    const std::string what = whatOf(record);
    std::string text = "interrupted: " + job.device + " holds ";
    text += job.reached.empty() ? "no confirmed block of " + what
                                : heldBlocksText(job.reached) + " of " + what;
    const bool sameDay = job.time.size() >= 16 && job.time.compare(0, 10, today) == 0;
    text += " since " + (sameDay ? job.time.substr(11, 5) : job.time.substr(0, 16));
    if (!record.snapshot.empty()) text += " (snapshot " + record.snapshot + ")";
    if (!record.file.empty() && !record.snapshot.empty()) {
        text += "; load the file again, or load the snapshot";
    } else if (!record.snapshot.empty()) {
        text += "; write the settings again, or load the snapshot";
    } else {
        text += "; write it again";
    }
    return text;
}

std::string interruptedText(const std::vector<JournalJob>& jobs, std::string_view today,
                            std::string_view separator) {
    std::vector<std::string> texts;
    for (const JournalJob& job : jobs) texts.push_back(interruptedText(job, today));
    return joined(texts, separator);
}

std::vector<JournalJob> historyOf(const JournalContent& content, const HistoryFilter& filter) {
    std::vector<JournalJob> jobs;
    for (auto it = content.jobs.rbegin(); it != content.jobs.rend(); ++it) {
        if (!filter.since.empty() && it->time < filter.since) continue;
        const std::string host = it->device.substr(0, it->device.rfind(':'));
        const bool named =
            filter.devices.empty() ||
            std::any_of(filter.devices.begin(), filter.devices.end(),
                        [&](const std::string& d) { return d == it->device || d == host; });
        if (named) jobs.push_back(*it);
    }
    return jobs;
}

namespace {

std::string whatLine(const WriteRecord& record) {
    std::string text = record.kind;
    if (!record.file.empty()) text += " " + record.file;
    if (!record.sha256.empty()) text += " (sha256 " + record.sha256.substr(0, 16) + ")";
    std::vector<std::string> changes;
    for (const JournalSetting& s : record.settings) {
        changes.push_back(s.name + " \"" + s.before + "\" -> \"" + s.after + "\"");
    }
    if (!changes.empty()) text += " " + joined(changes, ", ");
    if (!record.blocks.empty() && record.blocks.size() < 8) {
        text += " [" + joined(record.blocks, " ") + "]";
    }
    if (!record.snapshot.empty()) text += "; snapshot " + record.snapshot;
    return text;
}

std::string outcomeLine(const JournalJob& job) {
    if (!job.result) {
        const std::string held =
            job.reached.empty() ? "no block confirmed" : "holds " + heldBlocksText(job.reached);
        if (!job.closedBy.empty())
            return "interrupted (" + held + "), whole again by " + job.closedBy;
        return "interrupted (" + held + ")";
    }
    const WriteResult& r = *job.result;
    std::string text = r.outcome;
    if (!r.verified.empty()) {
        text += (r.outcome == "verified" ? " " : ", verified ") + heldBlocksText(r.verified);
    }
    if (!r.differing.empty()) text += ", differing " + joined(r.differing, " ");
    if (!r.reason.empty()) text += ": " + r.reason;
    return text;
}

}  // namespace

std::string historyText(const std::vector<JournalJob>& newestFirst, std::string_view lineEnd) {
    std::string text;
    for (const JournalJob& job : newestFirst) {
        text += job.time + "  " + job.user + "@" + job.host + "  " + job.device + "  " +
                whatLine(job.record) + "  " + outcomeLine(job);
        text += lineEnd;
    }
    return text;
}

std::string historyJson(const std::vector<JournalJob>& newestFirst,
                        const std::vector<std::string>& notes) {
    Json writes = Json::array();
    for (const JournalJob& job : newestFirst) {
        Json settings = Json::array();
        for (const JournalSetting& s : job.record.settings) {
            settings.push_back({{"name", s.name}, {"before", s.before}, {"after", s.after}});
        }
        Json write = {{"job", job.id},
                      {"time", job.time},
                      {"user", job.user},
                      {"host", job.host},
                      {"device", job.device},
                      {"kind", job.record.kind},
                      {"file", job.record.file},
                      {"sha256", job.record.sha256},
                      {"snapshot", job.record.snapshot},
                      {"settings", settings},
                      {"blocks", job.record.blocks},
                      {"reached", job.reached},
                      {"interrupted", !job.result.has_value()},
                      {"outcome", outcomeLine(job)}};
        if (!job.closedBy.empty()) write["closed_by"] = job.closedBy;
        writes.push_back(std::move(write));
    }
    const Json document = {{"writes", writes}, {"notes", notes}};
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace veskator
