// The options window's switches and action buttons: option bits, the alarm latch clears, the test
// messages, the e-mail and DDNS clears with their second write, the forced DDNS update and the
// history file.

#include <algorithm>

#include "options/options_dlg.h"

namespace veskator {

namespace ids = options_ids;

bool COptionsDlg::followUpPending(ControlId clearButton) const {
    const int index = clearRowOf(clearButton);
    return index >= 0 && m_followUps[static_cast<std::size_t>(index)].has_value();
}

void COptionsDlg::onSwitch(ControlId id) {
    if (!deviceDataPresent()) return;
    const SwitchRow& row = *findRow(kSwitchRows, id);
    const auto steps = switchSteps(row);
    runBitSteps(steps, kOptionsOptionBits, id, row.change);
}

// The request bit stays set here until the next full read brings the device's own value.
void COptionsDlg::onSendTests() {
    if (!deviceDataPresent()) return;
    runProgram(StepProgram().pause(kSendTestsPause).then([this] {
        imageByte(kSendTestsPlace) |= kSendTestsMask;
        show();
        link().requestBlockWrite(kSendTestsPlace.block);
        link().requestRemoteReset();
    }));
}

// The range is zeroed and its second block written at once, its first one some seconds later.
// The boxes of the zeroed fields are emptied and their waiting edits dropped, so that the window
// shows what the image holds and no older text is written back over the zeros.
void COptionsDlg::onClear(ControlId id) {
    if (!deviceDataPresent()) return;
    const auto index = static_cast<std::size_t>(clearRowOf(id));
    const ClearRow& row = kClearRows[index];
    auto image = state().workspace.image();
    std::fill_n(image.begin() + imageOffset(row.first), row.bytes, std::uint8_t{0});
    link().requestBlockWrite(nowBlockOf(row));
    m_followUps[index] = services().clock.now() + kClearFollowUpDelay;
    for (const TextField& field : kOptionsTextFields) {
        if (!clearedBy(row, field)) continue;
        controls().setText(field.id, "");
        m_deferred.drop(static_cast<std::size_t>(deferredRowOf(field.id)));
        // An emptied password box has no stars left to strip from the next edit.
        if (const int mask = maskIndex(field.id); mask >= 0) {
            m_placeholders[static_cast<std::size_t>(mask)].clear();
            controls().setCharLimit(field.id, charLimitOf(field.id));
        }
    }
    show();
    wake();
}

// Served by the timer as a deferred edit of its own, a second from now.
void COptionsDlg::onForceUpdate() {
    if (!deviceDataPresent()) return;
    m_deferred.mark(static_cast<std::size_t>(deferredRowOf(ids::kForceDdns)));
    take();
    wake();
}

// Written over the start of the file, which is never emptied first: what lies past the history
// area stays. Nothing is reported when the file cannot be opened.
void COptionsDlg::onHistoryFile() {
    if (std::unique_ptr<File> file = services().files.open(kHistoryFile, FileOpen::OpenOrCreate)) {
        file->write(state().workspace.historyArea());
    }
    runProgram(StepProgram().pause(kHistoryPause));
}

void COptionsDlg::sendFollowUps(DeferredFields::Which which) {
    const Clock::TimePoint now = services().clock.now();
    for (std::size_t i = 0; i < kClearRows.size(); ++i) {
        std::optional<Clock::TimePoint>& due = m_followUps[i];
        if (!due || (which == DeferredFields::Which::Due && *due > now)) continue;
        due.reset();
        link().requestBlockWrite(laterBlockOf(kClearRows[i]));
    }
}

}  // namespace veskator
