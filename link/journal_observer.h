#pragma once
// The journal of writes as the link engine's observer: each write the engine tells of becomes its
// entries, in words (the settings a window edit changes, by name, before and after), and a device
// read or written whole closes what earlier runs left half-done on it. The window's session and
// each device of a command-line run have one.

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "link/write_observer.h"
#include "model/programmer_state.h"
#include "model/write_journal.h"

namespace veskator {

class JournalObserver final : public WriteObserver {
  public:
    JournalObserver(WriteJournal& journal, const ProgrammerState& state)
        : m_journal(journal), m_state(state) {}

    std::string writeBegins(const WriteNews& news) override;
    void blockReached(const WriteNews& news, std::string_view block) override;
    void writeEnded(const WriteNews& news, const WriteEnd& end) override;
    void readCompleted(const Target& device) override;

    // Called once earlier writes of a device were closed: what is cut short has changed.
    void setOnClosed(std::function<void()> onClosed) { m_onClosed = std::move(onClosed); }

  private:
    std::vector<JournalSetting> editedSettings(const WriteNews& news) const;
    void knowBlock(const Target& device, int block);
    void deviceWhole(const Target& device, std::string_view by);

    WriteJournal& m_journal;
    const ProgrammerState& m_state;
    std::function<void()> m_onClosed;
    std::map<int, std::string> m_ids;  // the engine's number of a write, its journal id
    // What the device holds as far as this run knows: the image blocks read or written.
    Target m_device;
    std::array<std::uint8_t, kImageSize> m_deviceImage{};
    std::bitset<kBlockCount> m_known;
};

// "A0 A1 ..." as a journal names blocks.
std::vector<std::string> blockNames(const std::bitset<kBlockCount>& blocks);

}  // namespace veskator
