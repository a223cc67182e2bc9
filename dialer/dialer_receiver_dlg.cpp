#include "dialer/dialer_receiver_dlg.h"

#include <algorithm>

#include "model/dialer_data.h"
#include "ui/status_line.h"

namespace veskator {

namespace ids = dialer_ids;

namespace {

std::span<std::uint8_t, kDialerDataSize> dialerArea(ProgrammerState& state) {
    return state.workspace.dialerDataArea();
}

std::string slotText(std::span<const std::uint8_t> slot) {
    return readText(slot, 0, static_cast<int>(slot.size()));
}

}  // namespace

namespace {

// A toggle waits, flips its bit in the image, shows it and writes its block; the dialer's toggles
// then restart the device.
using enum BitOp;
constexpr std::array<BitStep, 6> kToggleSteps{
    {{Pause, kTogglePause}, {Change}, {ShowBit}, {Show}, {Write}, {Reset}}};
constexpr std::array<BitStep, 5> kReceiverEnableSteps{
    {{Pause, kTogglePause}, {Change}, {ShowBit}, {Show}, {Write}}};
// The heartbeat goes through the shared copy of A1 0x3d, at once.
constexpr std::array<BitStep, 5> kHeartbeatSteps{{{Change}, {Copy}, {ShowBit}, {Write}, {Show}}};

}  // namespace

CDialerReceiverDlg::CDialerReceiverDlg(Services& services, Session& session)
    : WindowCore(services, session, kDialerDialogTemplate, ids::kStatusLine, kDialerTimer,
                 kDialerTickPeriod),
      m_deferred(services.clock, kDialerDeferredRows.size()) {}

void CDialerReceiverDlg::onInit(Dialog& dialog) {
    attach(dialog);
    applyInputRules(std::span(&kStartupDelayField, 1));
    fillMacAddresses();
    fillNumbers();
    m_line = 0;
    m_position = 0;
    showLine();
    showSchedule();
    fillOptions();
    // The log starts with how the last upload ended, or goes on with the one under way from its
    // next chunk.
    const LinkStatus& status = link().status();
    const DialerProgress& upload = status.dialer;
    m_loggedUpload = upload.upload;
    m_loggedChunks = upload.chunksSent;
    m_endLogged = !upload.running;
    if (!upload.running && upload.end != DialerProgress::End::None) {
        controls().setText(ids::kLog, dialerUploadText(upload) + "\r\n");
    }
    show();
    armTick(kDialerTickPeriod);
}

// A missing or unreadable file gives an empty edit; nothing is created.
void CDialerReceiverDlg::fillMacAddresses() {
    for (const MacFileRow& row : kMacFiles) {
        const auto text = readFileStart(services().files, row.path, kMacChars);
        controls().setText(row.id, text.value_or(std::string()));
    }
}

void CDialerReceiverDlg::fillNumbers() {
    for (const NumberRow& row : kDialerNumbers) {
        controls().setText(row.id, std::to_string(imageByte(row.place)));
    }
    controls().setText(ids::kStartupDelay, showText(state().workspace.image(), kStartupDelayField));
    controls().setChecked(shownBaud(imageByte(kBaudPlace)), true);
    controls().setText(ids::kSubscriber,
                       slotText(subscriberSlot(std::span<const std::uint8_t, kWorkspaceSize>(
                           state().workspace.bytes()))));
}

// Toggles from the image; the format and the heartbeat from the shared copy of A1 0x3d.
void CDialerReceiverDlg::fillOptions() {
    for (const OptionBit& bit : kDialerOptionBits) {
        controls().setChecked(bit.id, optionShownOn(bit, imageByte(bit.place)));
    }
    const std::uint8_t a1 = state().optionCopies().at(kSurGardBit.place);
    showChoice(kFormats, shownFormat(imageByte(kDecodedBit.place), a1));
    controls().setChecked(ids::kHeartbeat, optionShownOn(kHeartbeatBit, a1));
}

void CDialerReceiverDlg::showLine() {
    controls().setText(ids::kLineNumber, std::to_string(m_line));
    controls().setText(ids::kTelephone, slotText(telephoneLine(dialerArea(state()), m_line)));
}

// The last position holds three characters: its other two bytes are telephone line 0.
void CDialerReceiverDlg::showSchedule() {
    controls().setText(ids::kScheduleNumber, std::to_string(m_position));
    controls().setText(ids::kScheduleTime, slotText(scheduleSlot(dialerArea(state()), m_position)));
    controls().setCharLimit(ids::kScheduleTime, scheduleSlotSize(m_position));
}

// Nothing typed is lost by closing: delays and the subscriber text waiting for their second, and
// the A1 write after a format choice, go now (A0, then A1, then the reset). The upload goes on.
bool CDialerReceiverDlg::handleCloseRequest() {
    take();
    flushOnClose();
    return true;
}

void CDialerReceiverDlg::onClosed() {
    flushOnClose();
    detach();
}

void CDialerReceiverDlg::flushOnClose() {
    writeEdits(DeferredFields::Which::All);
    sendA1FollowUp();
}

void CDialerReceiverDlg::handleEnter(ControlId id) {
    const int row = rowIndex(kDialerDeferredRows, id);
    if (row < 0 || !m_deferred.pending(static_cast<std::size_t>(row))) return;
    take();
    m_deferred.markNow(static_cast<std::size_t>(row));
    wake();
}

void CDialerReceiverDlg::handleTextChange(ControlId id) {
    switch (id) {
        case ids::kTelephone:
            return onTelephoneTyped();
        case ids::kScheduleTime:
            return onScheduleTyped();
        case ids::kLineNumber:
        case ids::kScheduleNumber:
            // They show the position; typing changes nothing.
            return show();
        case ids::kTcpSocketSize:
        case ids::kUdpSocketSize:
            return onSocketSize(id);
        case ids::kSlaveMac:
        case ids::kServerMac:
            return onMacTyped(id);
        case ids::kLog:
        case ids::kDialingNumber:
            // Kept as typed, so the next show does not wipe it.
            return take();
        default:
            if (hasRow(kDialerDeferredRows, id)) onDeferredEdit(id);
            return;
    }
}

void CDialerReceiverDlg::handleClick(ControlId id) {
    if (hasRow(kDialerOptionBits, id)) return onToggle(id);
    if (hasRow(kFormats, id)) return onFormat(id);
    if (hasRow(kBaudRates, id)) return onBaudRate(id);
    switch (id) {
        case ids::kNextLine:
            return onMoveLine(+1);
        case ids::kPreviousLine:
            return onMoveLine(-1);
        case ids::kNextSchedule:
            return onMoveSchedule(+1);
        case ids::kPreviousSchedule:
            return onMoveSchedule(-1);
        case ids::kHeartbeat:
            return onHeartbeat();
        case ids::kUpload:
            return onUpload();
        case ids::kPair:
            return onPair();
        default:
            return show();
    }
}

// "+" on the last line does nothing, not even wait; "-" waits first.
void CDialerReceiverDlg::onMoveLine(int step) {
    if (step > 0 && m_line >= kTelephoneLines - 1) return show();
    runProgram(StepProgram().pause(kMovePause).then([this, step] {
        m_line = std::clamp(m_line + step, 0, kTelephoneLines - 1);
        showLine();
        show();
    }));
}

void CDialerReceiverDlg::onMoveSchedule(int step) {
    runProgram(StepProgram().pause(kMovePause).then([this, step] {
        m_position = std::clamp(m_position + step, 0, kSchedulePositions - 1);
        showSchedule();
        show();
    }));
}

// 16 characters fill the line without a terminator; a shorter number ends with a zero byte and
// leaves the rest of the line as it was.
void CDialerReceiverDlg::onTelephoneTyped() {
    runProgram(StepProgram().pause(kTypingPause).then([this] {
        take();
        storeInSlot(telephoneLine(dialerArea(state()), m_line), SlotRule::Exact,
                    controls().text(ids::kTelephone));
        show();
    }));
}

// Five bytes, zero-padded; never past the slot, so the last position leaves line 0 alone.
void CDialerReceiverDlg::onScheduleTyped() {
    runProgram(StepProgram().pause(kTypingPause).then([this] {
        take();
        storeInSlot(scheduleSlot(dialerArea(state()), m_position), SlotRule::ZeroPadded,
                    controls().text(ids::kScheduleTime));
        show();
    }));
}

void CDialerReceiverDlg::onToggle(ControlId id) {
    if (!deviceDataPresent()) return;
    runBitSteps(toggleResetsDevice(id) ? BitSteps(kToggleSteps) : BitSteps(kReceiverEnableSteps),
                kDialerOptionBits, id);
}

// Flipped in the shared copy, which then goes whole into the image.
void CDialerReceiverDlg::onHeartbeat() {
    if (!deviceDataPresent()) return;
    runBitSteps(kHeartbeatSteps, std::span(&kHeartbeatBit, 1), ids::kHeartbeat);
}

// Pressed again while an upload runs, it starts again from chunk 0.
void CDialerReceiverDlg::onUpload() {
    runProgram(StepProgram().pause(kUploadPause).then([this] {
        link().startDialerUpload();
        followUpload();
        show();
    }));
}

void CDialerReceiverDlg::onDeferredEdit(ControlId id) {
    const int index = rowIndex(kDialerDeferredRows, id);
    const DeferredDialerRow& row = kDialerDeferredRows[static_cast<std::size_t>(index)];
    // The subscriber text is the window's own; the delays are the device's settings.
    if (row.kind != DeferredDialerKind::Subscriber && !imageIsTargets()) {
        return refuseEdit(id);
    }
    take();
    m_deferred.mark(static_cast<std::size_t>(index));
    wake();
}

void CDialerReceiverDlg::handleTimer(TimerId id) {
    if (id == kDialerTimer) onTick();
}

void CDialerReceiverDlg::onTick() {
    const LinkNews::News news = linkNews();
    if (m_a1FollowUp && link().idle()) sendA1FollowUp();
    followUpload();
    if (news.pairing) followPairing();
    writeEdits(DeferredFields::Which::Due);
    if (news.rewrite) followImageRewrites();
    // Only the status line: a full show would wipe what is being typed into an edit whose
    // handler has not taken it yet.
    showStatusLine();
    scheduleTick(nextDue());
}

// What the window's timer waits for: an edit's second, the A1 write waiting for the link to be
// idle. What the link does wakes it too.
std::optional<Clock::TimePoint> CDialerReceiverDlg::nextDue() const {
    std::optional<Clock::TimePoint> next = m_deferred.nextDue();
    if (m_a1FollowUp) next = services().clock.now();
    return next;
}

void CDialerReceiverDlg::writeEdits(DeferredFields::Which which) {
    m_deferred.take(which, [this](std::size_t row) { writeRow(kDialerDeferredRows[row]); });
}

void CDialerReceiverDlg::writeRow(const DeferredDialerRow& row) {
    const std::string& text = controls().text(row.id);
    switch (row.kind) {
        case DeferredDialerKind::LineDelay: {
            std::uint8_t& byte = imageByte(findRow(kDialerNumbers, row.id)->place);
            byte = clampedByte(parseDecimal(text));
            // The box shows what was stored.
            controls().setText(row.id, std::to_string(byte));
            show();
            break;
        }
        case DeferredDialerKind::StartupDelay:
            if (!storeField(kStartupDelayField, text)) return show();
            break;
        case DeferredDialerKind::Subscriber:
            storeInSlot(subscriberSlot(state().workspace.bytes()), SlotRule::Terminated, text);
            // Kept for the next session all the same; the device gets it once it has been read.
            if (!imageIsTargets()) return;
            break;
    }
    link().requestBlockWrite(row.block);
    if (row.remoteReset) link().requestRemoteReset();
}

void CDialerReceiverDlg::sendA1FollowUp() {
    if (!m_a1FollowUp) return;
    m_a1FollowUp = false;
    link().requestBlockWrite(kSurGardBit.place.block);
    link().requestRemoteReset();
}

// The log tells each chunk as it goes, then how the upload ended.
void CDialerReceiverDlg::followUpload() {
    const DialerProgress& upload = link().status().dialer;
    if (upload.upload != m_loggedUpload) {
        m_loggedUpload = upload.upload;
        m_loggedChunks = 0;
        m_endLogged = false;
    }
    std::string lines;
    for (; m_loggedChunks < upload.chunksSent; ++m_loggedChunks) {
        lines += "mode= " + std::to_string(m_loggedChunks) + "\r\n";
    }
    if (!upload.running && !m_endLogged) {
        m_endLogged = true;
        lines += upload.end == DialerProgress::End::Completed ? std::string("download completed")
                                                              : dialerUploadText(upload);
    }
    if (!lines.empty()) appendLog(lines);
}

// What became of the pairing frame, once its exchange has ended.
void CDialerReceiverDlg::followPairing() {
    const LinkStatus& status = link().status();
    if (status.pairing) appendLog(pairingText(*status.pairing) + "\r\n");
}

// Sending turned an image byte of 13 into 12: the window shows what the device now holds.
void CDialerReceiverDlg::followImageRewrites() {
    for (const NumberRow& row : kDialerNumbers) {
        // A number still being typed keeps the typing: its store is still to come.
        const int deferred = rowIndex(kDialerDeferredRows, row.id);
        if (deferred >= 0 && m_deferred.pending(static_cast<std::size_t>(deferred))) continue;
        controls().setText(row.id, std::to_string(imageByte(row.place)));
    }
    showChoice(kBaudRates, shownBaud(imageByte(kBaudPlace)));
    fillOptions();
    show();
}

void CDialerReceiverDlg::refuseEdit(ControlId id) {
    if (const NumberRow* row = findRow(kDialerNumbers, id)) {
        controls().setText(id, std::to_string(imageByte(row->place)));
    } else if (id == ids::kStartupDelay) {
        controls().setText(id, showText(state().workspace.image(), kStartupDelayField));
    }
    deviceDataPresent();
}

// What was typed into the log joins it first.
void CDialerReceiverDlg::appendLog(std::string_view text) {
    take();
    controls().setText(ids::kLog, controls().text(ids::kLog) + std::string(text));
    show();
}

}  // namespace veskator
