#include "link/journal_observer.h"

#include <algorithm>

#include "model/settings.h"

namespace veskator {
namespace {

std::string defaultKind(JobKind kind) {
    switch (kind) {
        case JobKind::BlockWrite:
            return "edit";
        case JobKind::Chunk:
            return "chunk";
        case JobKind::AlarmCodeDownload:
            return "alarm code";
        case JobKind::DialerUpload:
            return "dialer upload";
        default:
            return "write";
    }
}

JournalSetting journalSetting(const SettingDifference& d) {
    return {std::string(windowKey(d.window)) + "/" + d.label, d.before, d.after};
}

}  // namespace

std::vector<std::string> blockNames(const std::bitset<kBlockCount>& blocks) {
    std::vector<std::string> names;
    for (int b = 0; b < kBlockCount; ++b) {
        if (blocks.test(static_cast<std::size_t>(b))) names.push_back(blockName(b));
    }
    return names;
}

// A window's edit goes as a block write: the settings of that block that differ from what the
// device was last known to hold, as the window shows them (passwords as stars).
std::vector<JournalSetting> JournalObserver::editedSettings(const WriteNews& news) const {
    std::vector<JournalSetting> changed;
    if (!sameDevice(news.device, m_device)) return changed;
    std::array<std::uint8_t, kWorkspaceSize> before{};
    const auto now = m_state.workspace.bytes();
    std::copy(now.begin(), now.end(), before.begin());
    std::copy(m_deviceImage.begin(), m_deviceImage.end(), before.begin());
    for (const Setting& s : allSettings()) {
        if (!s.inImage) continue;
        const bool touched = std::any_of(s.named.begin(), s.named.end(), [&](const auto& bits) {
            const std::size_t block = bits.first / kBlockSize;
            return bits.first < kImageSize && news.blocks.test(block) && m_known.test(block);
        });
        if (!touched) continue;
        std::string was = s.show(before);
        std::string is = s.show(now);
        if (was != is) changed.push_back(journalSetting(settingDifference(s, was, is)));
    }
    return changed;
}

std::string JournalObserver::writeBegins(const WriteNews& news) {
    WriteRecord record;
    const WriteSubject empty;
    const WriteSubject& subject = news.subject != nullptr ? *news.subject : empty;
    record.kind = subject.kind.empty() ? defaultKind(news.kind) : subject.kind;
    record.device = news.device;
    record.file = subject.file;
    record.sha256 = subject.sha256;
    record.snapshot = subject.snapshot;
    for (const SettingDifference& d : subject.settings)
        record.settings.push_back(journalSetting(d));
    if (news.kind == JobKind::BlockWrite) record.settings = editedSettings(news);
    record.blocks = blockNames(news.blocks);
    const WriteJournal::Begun begun = m_journal.begin(record);
    if (!begun.problem.empty()) return begun.problem;
    m_ids[news.write] = begun.id;
    return {};
}

void JournalObserver::knowBlock(const Target& device, int block) {
    if (!sameDevice(device, m_device)) {
        m_device = device;
        m_known.reset();
    }
    const auto image = m_state.workspace.image();
    const std::size_t start = static_cast<std::size_t>(block) * kBlockSize;
    std::transform(image.begin() + static_cast<std::ptrdiff_t>(start),
                   image.begin() + static_cast<std::ptrdiff_t>(start + kBlockSize),
                   m_deviceImage.begin() + static_cast<std::ptrdiff_t>(start), sentAs);
    m_known.set(static_cast<std::size_t>(block));
}

void JournalObserver::blockReached(const WriteNews& news, std::string_view block) {
    const auto id = m_ids.find(news.write);
    if (id == m_ids.end()) return;
    m_journal.blockReached(id->second, block);
    if (block.size() == 2 && block[0] == 'A' && block[1] >= '0' && block[1] < '0' + kBlockCount) {
        knowBlock(news.device, block[1] - '0');
    }
}

void JournalObserver::writeEnded(const WriteNews& news, const WriteEnd& end) {
    const auto id = m_ids.find(news.write);
    if (id == m_ids.end()) return;
    WriteResult result;
    result.outcome = end.completed ? "written" : "stopped";
    if (end.load) {
        if (end.completed && end.load->readBack) result.outcome = "verified";
        result.verified = blockNames(end.load->verified);
        result.differing = blockNames(end.load->differing);
    }
    if (!end.completed) result.reason = end.reason;
    m_journal.ended(id->second, result);
    m_ids.erase(id);
    if (end.completed && end.load && end.load->blocks.all()) deviceWhole(news.device, "write");
}

void JournalObserver::readCompleted(const Target& device) {
    for (int b = 0; b < kBlockCount; ++b) knowBlock(device, b);
    deviceWhole(device, "read");
}

void JournalObserver::deviceWhole(const Target& device, std::string_view by) {
    m_journal.deviceWhole(device, by);
    if (m_onClosed) m_onClosed();
}

}  // namespace veskator
