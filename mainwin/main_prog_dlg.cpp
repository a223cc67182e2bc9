#include "mainwin/main_prog_dlg.h"

#include <bitset>

#include "mainwin/main_refresh.h"
#include "mainwin/option_steps.h"
#include "mainwin/parameter_files.h"
#include "resources/main_dialog_template.h"

namespace veskator {

using namespace main_ids;

namespace {

constexpr bool everyOptionHasAHandler() {
    for (const OptionBit& bit : kMainOptionBits) {
        const bool eitherOr = bit.id == kSecondServer || bit.id == kListenIn;
        if (!eitherOr && !hasOptionSteps(bit.id)) return false;
    }
    for (const OptionSteps& s : kOptionSteps) {
        if (!hasOptionBit(s.id)) return false;
    }
    return true;
}
static_assert(everyOptionHasAHandler());

// Text edits and what a change of each asks of the link engine.
struct FieldHandler {
    ControlId id;
    FieldCommit commit;
};
constexpr std::array<FieldHandler, 11> kFieldHandlers{{
    {kAlarmSequence, FieldCommit::AlarmSequence},
    {kReceiver1, FieldCommit::Receiver1},
    {kAccountPrefix, FieldCommit::AccountPrefix},
    {kServerIp1, FieldCommit::ServerIp1},
    {kServerPort1, FieldCommit::ServerPort1},
    {kReceiver2, FieldCommit::Receiver2},
    {kServerIp2, FieldCommit::ServerIp2},
    {kServerPort2, FieldCommit::ServerPort2},
    {kProgrammingData, FieldCommit::ProgrammingData},
    {kTargetAddress, FieldCommit::TargetAddress},
    {kTargetPort, FieldCommit::TargetPort},
}};

constexpr const FieldHandler* findFieldHandler(ControlId id) {
    for (const FieldHandler& h : kFieldHandlers) {
        if (h.id == id) return &h;
    }
    return nullptr;
}

constexpr bool changesDevice(FieldCommit c) {
    return c != FieldCommit::TargetAddress && c != FieldCommit::TargetPort;
}

// The characters up to the first zero byte, at most `limit` of them.
std::string nameFrom(const std::string& bytes, std::size_t limit = std::string::npos) {
    return bytes.substr(0, std::min(bytes.find('\0'), limit));
}

std::string blockList(const std::bitset<kBlockCount>& blocks) {
    std::string list;
    for (int b = 0; b < kBlockCount; ++b) {
        if (!blocks.test(static_cast<std::size_t>(b))) continue;
        list += (list.empty() ? "A" : " A") + std::to_string(b);
    }
    return list;
}

}  // namespace

CMainProgDlg::CMainProgDlg(Services& services, ProgrammerState& state, LinkEngine& engine)
    : m_services(services), m_state(state), m_engine(engine), m_values(kMainDialogTemplate) {}

const DialogTemplate& CMainProgDlg::dialogTemplate() const { return kMainDialogTemplate; }

// Start-up: the working files, the received-data log, the agreement on file, then the timer
// whose ticks run the link engine.
void CMainProgDlg::onInit(Dialog& dialog) {
    m_dialog = &dialog;
    m_engine.setTickSoon([this] {
        if (m_dialog != nullptr) m_dialog->triggerTimer(kLinkTimer);
    });
    readWorkingFiles();
    // Shown before any handler can take the controls back into the values.
    show();
    m_dialog->armTimer(kLinkTimer, kTickPeriod);
}

void CMainProgDlg::onClosed() {
    m_engine.setTickSoon(nullptr);
    m_dialog = nullptr;
}

void CMainProgDlg::readWorkingFiles() {
    FileSystem& files = m_services.files;
    // Kept here so that the agreement and the remembered settings can be stored.
    files.makeDirectory(kProgramDirectory);
    m_values.setText(kSaveName,
                     nameFrom(readFileStart(files, kSavingNameFile, kNameFileBytes).value_or(""),
                              kNameShownChars));
    m_values.setText(kLoadName,
                     nameFrom(readFileStart(files, kLoadingNameFile, kNameFileBytes).value_or(""),
                              kNameShownChars));
    m_engine.setReceiveLog(files.open(kReceiveLogPath, FileOpen::CreateEmpty));
    // Cut at a zero byte: the control could not hold what follows it, and would be rewritten at
    // every tick.
    m_values.setText(kTargetPort,
                     nameFrom(readFileStart(files, kClientPortFile, kPortFileBytes).value_or("")));
    m_values.setText(
        kTargetAddress,
        nameFrom(readFileStart(files, kServerAddressFile, kAddressFileBytes).value_or("")));
    const std::string liability =
        readFileStart(files, kLiabilityFile, kAgreement.size(), FileOpen::OpenOrCreate)
            .value_or("");
    m_state.disclaimerAccepted = liability == kAgreement ? 1 : 0;
    if (m_state.disclaimerAccepted == 1) m_state.texts.traceBox = kTextAgreedOnFile;
}

// The three status texts live in the shared state, where the link engine writes them.
void CMainProgDlg::take() {
    m_values.take(*m_dialog);
    m_state.texts.messageWindow = m_values.text(kMessageWindow);
    m_state.texts.traceBox = m_values.text(kTraceBox);
    m_state.texts.downloadLine = m_values.text(kDownloadLine);
}

void CMainProgDlg::show() {
    m_values.setText(kMessageWindow, m_state.texts.messageWindow);
    m_values.setText(kTraceBox, m_state.texts.traceBox);
    m_values.setText(kDownloadLine, m_state.texts.downloadLine);
    m_values.show(*m_dialog);
    const std::string status = statusText();
    if (m_dialog->text(kStatusLine) != status) m_dialog->setText(kStatusLine, status);
}

std::string CMainProgDlg::statusText() const {
    std::string status;
    if (m_closing) {
        status = "writing " + std::to_string(m_engine.pendingWrites()) + " pending changes    ";
    }
    if (m_state.readAllRequest != 0) {
        status += "link: reading device, " + std::to_string(m_engine.unitsRead()) + " of 64 units";
    } else if (m_state.alarmCodeChunk != 0) {
        status += "link: alarm code download, chunk " + std::to_string(m_state.alarmCodeChunk + 1);
    } else if (m_state.writeAllRequest != 0) {
        status += "link: writing all blocks, A" + std::to_string(m_state.writeAllBlock);
    } else {
        switch (m_engine.linkState()) {
            case LinkState::Idle:
                status += "link: idle";
                break;
            case LinkState::Connect:
                status += "link: connecting";
                break;
            default:
                status += "link: exchanging";
                break;
        }
    }
    if (!m_state.texts.notice.empty()) status += "    " + m_state.texts.notice;
    if (m_state.unwrittenBlocks.any()) {
        status += "    not written yet: " + blockList(m_state.unwrittenBlocks);
    }
    if (!m_state.texts.linkError.empty()) status += "    last error: " + m_state.texts.linkError;
    return status;
}

bool CMainProgDlg::deviceDataPresent() {
    if (m_state.imageHoldsDeviceData) return true;
    // Refused before anything changes: the control goes back to what it showed.
    m_state.texts.notice = kTextReadFirst;
    show();
    return false;
}

// Closing with changes still to go: they are committed now, the window stays until the link has
// written them, and a second request may give them up.
bool CMainProgDlg::onCloseRequested() {
    if (m_closing) {
        m_asking = true;
        const bool discard =
            m_dialog->ask(std::to_string(m_engine.pendingWrites()) +
                          " changes are still being written to the device. Close without them?");
        m_asking = false;
        return discard;
    }
    take();
    m_engine.takeFieldCommits(m_values, LinkEngine::Commits::All);
    // Nobody will see what a read brings now.
    if (m_state.readAllRequest != 0) m_state.stopFullRead();
    // Blocks given up earlier get one more try before the program ends.
    for (int b = 0; b < kBlockCount; ++b) {
        if (m_state.unwrittenBlocks.test(static_cast<std::size_t>(b))) {
            m_state.requests.requestBlockWrite(b);
        }
    }
    if (m_engine.pendingWrites() == 0) return true;
    m_closing = true;
    show();
    m_dialog->armTimer(kLinkTimer, kTickPeriod);
    return false;
}

void CMainProgDlg::finishClosing() {
    if (m_engine.pendingWrites() > 0) return;
    m_closing = false;
    if (m_state.unwrittenBlocks.any()) {
        m_asking = true;
        const bool close = m_dialog->ask(blockList(m_state.unwrittenBlocks) +
                                         " could not be written to the device. Close anyway?");
        m_asking = false;
        if (!close) {
            show();
            return;
        }
    }
    m_dialog->close(0);
}

void CMainProgDlg::onEditEnter(ControlId id) {
    if (id == kMessageWindow) return checkAgreement();
    const FieldHandler* h = findFieldHandler(id);
    if (h == nullptr || !m_state.commitPending(h->commit)) return;
    // Enter commits the field at the next tick instead of a second after the last keystroke.
    take();
    m_state.setFieldCommit(h->commit, m_services.clock.now());
    m_dialog->armTimer(kLinkTimer, kTickPeriod);
}

void CMainProgDlg::onTextChanged(ControlId id) {
    switch (id) {
        case kMacAddress:
        case kDeviceServerPort:
            // Shown only: re-arm and take, never stored or sent.
            m_dialog->armTimer(kLinkTimer, kCommitDelay);
            take();
            return;
        case kSaveName:
        case kLoadName:
            take();
            return;
        case kMessageWindow:
            onAgreementTyped();
            return;
        default:
            onFieldChanged(id);
            return;
    }
}

// A text change is committed one second after the last keystroke, at the engine's next tick.
void CMainProgDlg::onFieldChanged(ControlId id) {
    const FieldHandler* h = findFieldHandler(id);
    if (h == nullptr) return;
    if (changesDevice(h->commit) && !deviceDataPresent()) return;
    m_dialog->armTimer(kLinkTimer, kCommitDelay);
    m_state.setFieldCommit(h->commit, m_services.clock.now() + kCommitDelay);
    take();
}

// Each keystroke restarts the pause; the text is judged once typing has stopped, so that "yes"
// typed at any speed is never taken for "y".
void CMainProgDlg::onAgreementTyped() {
    take();
    m_dialog->armTimer(kAgreementTimer, kAgreementPause);
}

void CMainProgDlg::checkAgreement() {
    m_dialog->killTimer(kAgreementTimer);
    take();
    const std::string& answer = m_values.text(kMessageWindow);
    if (answer == "y" || answer == "Y") {
        m_state.texts.traceBox = kTextAgreedNow;
        writeWholeFile(m_services.files, kLiabilityFile, kAgreement);
    }
    show();
}

void CMainProgDlg::onClicked(ControlId id) {
    if (findOptionSteps(id) != nullptr) return onOption(id);
    switch (id) {
        case kSecondServer:
        case kListenIn:
            return onEitherOr(id);
        case kStartGo:
            return onStartGo();
        case kFinalize:
            return onFinalize();
        case kSave:
            return onSave();
        case kLoad:
            return onLoadQuestion();
        case kYes:
            return onLoadYes();
        case kNo:
            return onLoadNo();
        case kAlarmCode:
            return onAlarmCode();
        default:
            // 1040 opens the options window once it exists.
            return;
    }
}

// An option click flips its bit and writes the bit's block; the step list of each option says in
// which order, with which waits.
void CMainProgDlg::onOption(ControlId id) {
    if (!deviceDataPresent()) return;
    const OptionBit& bit = *findOptionBit(id);
    auto image = m_state.workspace.image();
    std::uint8_t& imageByte = image[imageOffset(bit.place)];
    std::uint8_t& byte = bit.copy == OptionByte::None ? imageByte : m_state.optionCopy(bit.copy);
    for (OptionStep step : findOptionSteps(id)->steps) {
        switch (step) {
            case OptionStep::End:
                return;
            case OptionStep::Take:
                take();
                break;
            case OptionStep::Flip:
                byte ^= bit.mask;
                break;
            case OptionStep::SetValue:
                m_values.setChecked(id, optionShownOn(bit, byte));
                break;
            case OptionStep::Show:
                show();
                break;
            case OptionStep::Copy:
                imageByte = byte;
                break;
            case OptionStep::Request:
                m_state.requests.requestBlockWrite(bit.place.block);
                break;
            default:
                m_dialog->wait(waitOf(step));
                break;
        }
    }
}

// "sending to 2nd server" and "Listen-in via IP" exclude each other; both blocks are written.
void CMainProgDlg::onEitherOr(ControlId id) {
    if (!deviceDataPresent()) return;
    const ControlId other = id == kSecondServer ? kListenIn : kSecondServer;
    const OptionBit& clicked = *findOptionBit(id);
    const OptionBit& partner = *findOptionBit(other);
    std::uint8_t& byte = m_state.optionCopy(clicked.copy);
    std::uint8_t& otherByte = m_state.optionCopy(partner.copy);
    byte ^= clicked.mask;
    m_values.setChecked(id, false);
    m_values.setChecked(other, false);
    if ((byte & clicked.mask) != 0) {
        m_values.setChecked(id, true);
        otherByte &= static_cast<std::uint8_t>(~partner.mask);
    }
    auto image = m_state.workspace.image();
    image[imageOffset(clicked.place)] = byte;
    image[imageOffset(partner.place)] = otherByte;
    m_state.setFieldCommit(FieldCommit::EitherOr, m_services.clock.now());
    show();
    if (id == kSecondServer) take();
}

void CMainProgDlg::onStartGo() {
    if (m_state.disclaimerAccepted != 1) {
        m_state.texts.traceBox = kDisclaimerText;
        return;
    }
    m_state.texts.notice.clear();
    m_state.startFullRead();
}

void CMainProgDlg::onFinalize() { m_state.requests.requestExchange(kCodeRemoteReset); }

void CMainProgDlg::onSave() {
    // What was typed a moment ago is part of what the technician saves.
    m_engine.takeFieldCommits(m_values, LinkEngine::Commits::All);
    const bool saved = saveParameterFile(m_services.files, m_state, m_values.text(kSaveName));
    m_state.texts.messageWindow = saved ? kTextSavingCompleted : kTextSavingFailed;
    show();
}

void CMainProgDlg::onLoadQuestion() {
    m_state.loadConfirmPending = 1;
    m_state.texts.messageWindow = kTextLoadQuestion;
    show();
}

void CMainProgDlg::onLoadYes() {
    if (m_state.loadConfirmPending != 1) return;
    const std::string name = m_values.text(kLoadName);
    const LoadOutcome outcome = loadParameterFile(m_services.files, m_state, name);
    if (outcome.status != LoadOutcome::Status::Loaded) {
        // Nothing is sent: the image still holds what it held.
        m_state.texts.messageWindow = loadFailureText(name, outcome);
        show();
        return;
    }
    // The file replaces the image whole: a read still running would store device bytes over it,
    // edits not yet committed would mix into it, and an earlier load's writes start again at A0.
    if (m_state.readAllRequest != 0) {
        m_state.texts.notice = "full read stopped: the loaded file replaces the image";
    }
    m_state.stopFullRead();
    m_state.dropDeviceCommits();
    m_state.unwrittenBlocks.reset();
    m_state.imageHoldsDeviceData = true;
    m_state.startWriteAll();
    // What the window shows, and the option bytes its next click starts from, are the file's.
    refreshMainValues(m_state, m_values);
    m_state.texts.messageWindow = kTextLoading;
    show();
}

void CMainProgDlg::onLoadNo() {
    m_state.loadConfirmPending = 0;
    m_state.texts.messageWindow.clear();
    show();
}

void CMainProgDlg::onAlarmCode() {
    const AlarmCodeOutcome outcome = loadAlarmCode(m_services.files, m_state);
    if (outcome.bytes == 0) {
        // Nothing to send: blocks 64 on keep what the device holds.
        m_state.texts.downloadLine = alarmCodeRefusal(outcome);
        show();
        return;
    }
    m_state.startAlarmCode();
}

void CMainProgDlg::onTimer(TimerId id) {
    if (id == kAgreementTimer) return checkAgreement();
    onLinkTick();
}

void CMainProgDlg::onLinkTick() {
    m_engine.tick(m_values);
    if (m_state.refreshRequest != 0) {
        m_state.refreshRequest = 0;
        // Fields typed into meanwhile keep the typing: their commit is still to come.
        ControlValues typed = m_values;
        refreshMainValues(m_state, m_values);
        for (const FieldHandler& h : kFieldHandlers) {
            if (m_state.commitPending(h.commit)) m_values.setText(h.id, typed.text(h.id));
        }
    }
    if (m_state.imageRewritten != 0) {
        m_state.imageRewritten = 0;
        refreshMainOptions(m_state, m_values);
    }
    show();
    m_dialog->armTimer(kLinkTimer, kTickPeriod);
    if (m_closing && !m_asking) finishClosing();
}

void CMainProgDlg::onSystemCommand(int /*command*/) {
    // The About entry opens the options window once it exists.
}

}  // namespace veskator
