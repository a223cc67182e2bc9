// The receiver's output format, heartbeat, baud rate and socket sizes, and the serial bridge's MAC
// files and pairing frame.

#include <algorithm>

#include "dialer/dialer_receiver_dlg.h"

namespace veskator {

namespace ids = dialer_ids;

// Two bits of two blocks: A0 is written at once, A1 with the device's reset once the link is
// idle, so the device restarts with both.
void CDialerReceiverDlg::onFormat(ControlId id) {
    runProgram(StepProgram().pause(kFormatPause).then([this, id] {
        if (!deviceDataPresent()) return;
        storeFormat(state().workspace.image(), *findRow(kFormats, id));
        showChoice(kFormats, id);
        link().requestBlockWrite(kDecodedBit.place.block);
        m_a1FollowUp = true;
        show();
        wake();
    }));
}

void CDialerReceiverDlg::onBaudRate(ControlId id) {
    if (!deviceDataPresent()) return;
    imageByte(kBaudPlace) = findRow(kBaudRates, id)->code;
    showChoice(kBaudRates, id);
    link().requestBlockWrite(kBaudPlace.block);
    link().requestRemoteReset();
    show();
}

// Clamped, not wrapped: "300" stores 255, "-1" stores 0.
void CDialerReceiverDlg::onSocketSize(ControlId id) {
    if (!imageIsTargets()) return refuseEdit(id);
    take();
    const NumberRow& row = *findRow(kDialerNumbers, id);
    std::uint8_t& byte = imageByte(row.place);
    byte = clampedByte(parseDecimal(controls().text(id)));
    // The box shows what was stored.
    controls().setText(id, std::to_string(byte));
    link().requestBlockWrite(row.place.block);
    show();
    runProgram(StepProgram().pause(kSocketSizePause));
}

// The file holds the edit's bare text; one that cannot be written keeps its old content.
void CDialerReceiverDlg::onMacTyped(ControlId id) {
    take();
    services().files.writeFileAtomically(findRow(kMacFiles, id)->path, controls().text(id));
    runProgram(StepProgram().pause(kMacFilePause));
}

// Slave MAC, "/DOWNLOADBT/", server MAC, the main telephone number, CR: at most 129 bytes with
// the edits' limits, so it always fits the frame buffer; the log says so if it ever does not.
void CDialerReceiverDlg::onPair() {
    // The frame carries the device's main telephone number: none before a read.
    if (!deviceDataPresent()) return;
    take();
    std::string frame = controls().text(ids::kSlaveMac);
    frame += kPairingKeyword;
    frame += controls().text(ids::kServerMac);
    frame += showText(state().workspace.image(), kDialingNumberField);
    frame += '\r';
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.data());
    const bool queued = link().requestPairing(std::span(bytes, frame.size()));
    appendLog(queued ? frame
                     : "pairing frame not sent: " + std::to_string(frame.size()) +
                           " bytes do not fit one frame\r\n");
}

}  // namespace veskator
