#include "mainwin/main_prog_dlg.h"

#include <bitset>

#include "link/parameter_load.h"
#include "mainwin/compare_dlg.h"
#include "mainwin/history_dlg.h"
#include "mainwin/main_refresh.h"
#include "mainwin/option_steps.h"
#include "model/settings_compare.h"
#include "options/options_dlg.h"
#include "resources/main_dialog_template.h"
#include "ui/status_line.h"

namespace veskator {

using namespace main_ids;

namespace {

constexpr bool everyOptionHasAHandler() {
    for (const OptionBit& bit : kMainOptionBits) {
        const bool eitherOr = eitherOrPartner(bit.id) != 0;
        if (!eitherOr && !hasRow(kOptionSteps, bit.id)) return false;
    }
    for (const OptionSteps& s : kOptionSteps) {
        if (!hasRow(kMainOptionBits, s.id)) return false;
    }
    return true;
}
static_assert(everyOptionHasAHandler());

// The row of the commit table an edit marks; -1 for edits that commit nothing.
constexpr int commitRowOf(ControlId id) {
    return rowIndex(kMainCommits, id == kListenIn ? kSecondServer : id);
}

constexpr bool changesDevice(ControlId id) { return id != kTargetAddress && id != kTargetPort; }

// The characters up to the first zero byte, at most `limit` of them.
std::string nameFrom(const std::string& bytes, std::size_t limit = std::string::npos) {
    return bytes.substr(0, std::min(bytes.find('\0'), limit));
}

}  // namespace

CMainProgDlg::CMainProgDlg(Services& services, Session& session)
    : WindowCore(services, session, kMainDialogTemplate, kStatusLine, kLinkTimer, kTickPeriod),
      m_deferred(services.clock, kMainCommits.size()),
      m_progress(services.clock) {}

bool CMainProgDlg::commitPending(ControlId id) const {
    const int row = commitRowOf(id);
    return row >= 0 && m_deferred.pending(static_cast<std::size_t>(row));
}

// Start-up: the working files, the received-data log, the agreement on file, then the window's
// timer (the session ticks the link).
void CMainProgDlg::onInit(Dialog& dialog) {
    attach(dialog);
    m_mode = Mode::Ready;
    session().logs().start();
    applyInputRules(kMainTextFields);
    applyInputRule(kTargetPort, TextKind::Port);
    applyInputRule(kTargetAddress, TextKind::Host);
    readWorkingFiles();
    readRecentLists();
    offerRecent();
    // Writes an earlier run left half-done are said before anything else.
    session().readJournal();
    if (!session().journalMessage().empty()) setMessage(session().journalMessage());
    updateTarget();
    // Shown before any handler can take the controls back into the values.
    show();
    armTick(kTickPeriod);
}

void CMainProgDlg::onClosed() { detach(); }

void CMainProgDlg::readWorkingFiles() {
    FileSystem& files = services().files;
    // Kept here so that the agreement and the remembered settings can be stored.
    files.makeDirectory(kProgramDirectory);
    controls().setText(kSaveName,
                       nameFrom(readFileStart(files, kSavingNameFile, kNameFileBytes).value_or(""),
                                kNameShownChars));
    controls().setText(kLoadName,
                       nameFrom(readFileStart(files, kLoadingNameFile, kNameFileBytes).value_or(""),
                                kNameShownChars));
    // Cut at a zero byte: the control could not hold what follows it, and would be rewritten at
    // every tick.
    controls().setText(
        kTargetPort, nameFrom(readFileStart(files, kClientPortFile, kPortFileBytes).value_or("")));
    controls().setText(
        kTargetAddress,
        nameFrom(readFileStart(files, kServerAddressFile, kAddressFileBytes).value_or("")));
    const std::string liability =
        readFileStart(files, kLiabilityFile, kAgreement.size(), FileOpen::OpenOrCreate)
            .value_or("");
    m_agreement = liability == kAgreement ? Agreement::OnFile : Agreement::Awaiting;
    if (m_agreement == Agreement::OnFile) setTraceNote(std::string(kTextAgreedOnFile));
}

void CMainProgDlg::updateTarget() {
    link().setTarget({controls().text(kTargetAddress), parsePort(controls().text(kTargetPort))});
}

// The trace and the download line are the link's; the window's own words stand there until the
// link's next ones.
void CMainProgDlg::setTraceNote(std::string text) {
    m_traceNote = Overlay{std::move(text), link().texts().traceChanges};
}

void CMainProgDlg::setDownloadNote(std::string text) {
    m_downloadNote = Overlay{std::move(text), link().texts().downloadChanges};
}

void CMainProgDlg::beforeShow() {
    const LinkTexts& texts = link().texts();
    if (m_traceNote && m_traceNote->linkChanges != texts.traceChanges) m_traceNote.reset();
    if (m_downloadNote && m_downloadNote->linkChanges != texts.downloadChanges) {
        m_downloadNote.reset();
    }
    controls().setText(kTraceBox, m_traceNote ? m_traceNote->text : texts.trace);
    controls().setText(kDownloadLine, m_downloadNote ? m_downloadNote->text : texts.download);
    showProgress();
}

void CMainProgDlg::showProgress() {
    const ProgressView view = m_progress.update(link().status());
    if (view == m_progressShown) return;
    m_progressShown = view;
    dialog()->setSliderRange(kProgress, 0, view.maximum);
    dialog()->setSliderPosition(kProgress, view.value);
    dialog()->setText(kProgress, view.text);
}

std::string CMainProgDlg::lastJobWords() const {
    int waiting = 0;
    for (std::size_t row = 0; row < kMainCommits.size(); ++row) {
        const CommitKind kind = kMainCommits[row].kind;
        if ((kind == CommitKind::Text || kind == CommitKind::EitherOr) && m_deferred.pending(row)) {
            ++waiting;
        }
    }
    if (waiting == 0) return m_lastJob;
    return editsWaitingText(waiting) + (m_lastJob.empty() ? "" : "    " + m_lastJob);
}

void CMainProgDlg::noteEdit(std::bitset<kBlockCount> blocks) {
    if (!m_editsUnderWay) m_editsUnderWay = EditsUnderWay{0, {}, link().status().refusals};
    ++m_editsUnderWay->edits;
    m_editsUnderWay->blocks |= blocks;
}

void CMainProgDlg::followJobs(const LinkNews::News& news) {
    const LinkStatus& status = link().status();
    const LocalTime now = services().wallClock.localNow();
    const ImageSource& source = state().source();
    if (news.read) {
        m_lastJob = readDoneText(source.device, now, kReceiveAreaSize);
        rememberRead();
    }
    if (news.load && status.lastLoad) {
        m_lastJob = source.origin == ImageOrigin::LoadedFile
                        ? loadDoneText(source.file, source.device, now, *status.lastLoad)
                        : loadOutcomeText(*status.lastLoad) + " at " + clockText(now);
    }
    if (!m_editsUnderWay || link().pendingWrites() > 0) return;
    const EditsUnderWay edits = *m_editsUnderWay;
    m_editsUnderWay.reset();
    if (status.refusals != edits.refusals) {
        m_lastJob =
            editsDoneText(edits.edits, {}, edits.blocks, now) + ": " + refusalText(status.refusal);
        return;
    }
    m_lastJob = editsDoneText(edits.edits, edits.blocks & ~status.unwrittenBlocks,
                              edits.blocks & status.unwrittenBlocks, now);
}

std::string CMainProgDlg::statusPrefix() const {
    if (m_mode != Mode::ClosingWhileWriting && m_mode != Mode::AskingToClose) return {};
    return "writing " + std::to_string(link().pendingWrites()) + " pending changes    ";
}

// Closing with changes still to go: they are committed now, the window stays until the link has
// written them or given them up, and a second request may give them up at once.
bool CMainProgDlg::handleCloseRequest() {
    if (m_mode == Mode::ClosingWithNotice) return true;
    if (m_mode == Mode::AskingToClose) return false;
    if (m_mode == Mode::ClosingWhileWriting) {
        m_mode = Mode::AskingToClose;
        // An upload cut short leaves the dialer with part of its list: that is said plainly.
        dialog()->ask(
            link().status().dialer.running
                ? std::string(kQuestionDialerUpload)
                : std::to_string(link().pendingWrites()) +
                      " changes are still being written to the device. Close without them?",
            [this](bool discard) { onCloseAnswered(discard); });
        return false;
    }
    take();
    commitFields(DeferredFields::Which::All);
    // Nobody will see what a read brings now.
    link().stopFullRead();
    // Blocks given up earlier get one more try before the program ends.
    link().retryUnwrittenBlocks();
    if (link().pendingWrites() == 0) return true;
    m_mode = Mode::ClosingWhileWriting;
    armTick(kTickPeriod);
    return false;
}

// Yes gives the writes still to go up; no goes on writing them, and the window closes after.
void CMainProgDlg::onCloseAnswered(bool discard) {
    if (m_mode != Mode::AskingToClose || dialog() == nullptr) return;
    m_mode = Mode::ClosingWhileWriting;
    if (discard) return dialog()->close(kCancelResult);
    wake();
}

// A device that does not take the writes never keeps the window open: the link gives them up
// within its bounds, and the window then says so and closes.
void CMainProgDlg::finishClosing() {
    if (m_mode == Mode::ClosingWhileWriting) {
        if (link().pendingWrites() > 0) return;
        if (link().status().unwrittenBlocks.none()) return dialog()->close(0);
        sayUnwritten();
        m_mode = Mode::ClosingWithNotice;
        m_closeAt = services().clock.now() + kUnwrittenNoticePause;
        return;
    }
    if (services().clock.now() >= *m_closeAt) dialog()->close(0);
}

// What the device did not take is kept as a snapshot, so that it can be loaded once the device
// answers again.
void CMainProgDlg::sayUnwritten() {
    const SnapshotOutcome snapshot = session().snapshots().save(
        state().workspace, services().wallClock.localNow(), state().source().device);
    const std::string text =
        blockList(link().status().unwrittenBlocks) + " could not be written to the device; " +
        (snapshot.saved ? "the settings are kept in " + snapshot.path
                        : "the snapshot " + snapshot.path + " could not be saved");
    setMessage(text);
    setNotice(text);
}

void CMainProgDlg::handleEnter(ControlId id) {
    if (id == kMessageWindow) return checkAgreement();
    const int row = commitRowOf(id);
    if (row < 0 || !m_deferred.pending(static_cast<std::size_t>(row))) return;
    // Enter commits the field at the next tick instead of a second after the last keystroke.
    take();
    m_deferred.markNow(static_cast<std::size_t>(row));
    armTick(kTickPeriod);
}

void CMainProgDlg::handleTextChange(ControlId id) {
    switch (id) {
        case kMacAddress:
        case kDeviceServerPort:
            // Shown only: re-arm and take, never stored or sent.
            armTick(kCommitDelay);
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
    const int row = commitRowOf(id);
    if (row < 0) return;
    if (changesDevice(id) && !deviceDataPresent()) return;
    armTick(kCommitDelay);
    m_deferred.mark(static_cast<std::size_t>(row));
    take();
    if (changesDevice(id)) return;
    // Another device from the next request on (its file is saved at the tick): what was typed
    // for the device until now goes to that device first.
    commitFields(DeferredFields::Which::All, CommitRows::Device);
    updateTarget();
}

// Each keystroke restarts the pause; the text is judged once typing has stopped, so that "yes"
// typed at any speed is never taken for "y".
void CMainProgDlg::onAgreementTyped() {
    take();
    dialog()->armTimer(kAgreementTimer, kAgreementPause);
}

void CMainProgDlg::checkAgreement() {
    dialog()->killTimer(kAgreementTimer);
    take();
    const std::string& answer = controls().text(kMessageWindow);
    if (answer == "y" || answer == "Y") {
        setTraceNote(std::string(kTextAgreedNow));
        writeWholeFile(services().files, kLiabilityFile, kAgreement);
    }
    show();
}

void CMainProgDlg::handleClick(ControlId id) {
    if (hasRow(kOptionSteps, id)) return onOption(id);
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
        case kCompare:
            return onCompare();
        case kYes:
            return onLoadYes();
        case kNo:
            return onLoadNo();
        case kAlarmCode:
            return onAlarmCode();
        case kOptionsWindow:
            return openOptions();
        case kPickSaveName:
            return onPickFile(kSaveName);
        case kPickLoadName:
            return onPickFile(kLoadName);
        default:
            return;
    }
}

// An option click flips its bit and writes the bit's block; the step list of each option says in
// which order, with which waits.
void CMainProgDlg::onOption(ControlId id) {
    if (!deviceDataPresent()) return;
    runBitSteps(findRow(kOptionSteps, id)->steps, kMainOptionBits, id);
    noteEdit(std::bitset<kBlockCount>().set(
        static_cast<std::size_t>(findRow(kMainOptionBits, id)->place.block)));
}

// "sending to 2nd server" and "Listen-in via IP" exclude each other; both blocks are written.
void CMainProgDlg::onEitherOr(ControlId id) {
    if (!deviceDataPresent()) return;
    const OptionBit& clicked = *findRow(kMainOptionBits, id);
    const bool on = !optionShownOn(clicked, imageByte(clicked.place));
    storeEitherOr(state().workspace.image(), id, on);
    refreshMainOptions(state(), controls());
    m_deferred.markNow(static_cast<std::size_t>(commitRowOf(kSecondServer)));
    wake();
    show();
    if (id == kSecondServer) take();
}

void CMainProgDlg::onStartGo() {
    if (m_agreement == Agreement::Awaiting) {
        setTraceNote(std::string(kDisclaimerText));
        return;
    }
    setNotice({});
    link().requestFullRead();
}

void CMainProgDlg::onFinalize() { link().requestRemoteReset(); }

void CMainProgDlg::onSave() {
    // What was typed a moment ago is part of what the technician saves.
    commitFields(DeferredFields::Which::All);
    const bool saved =
        saveParameterFile(services().files, state().workspace, controls().text(kSaveName));
    if (saved) rememberName(kSaveName, controls().text(kSaveName));
    setMessage(saved ? kTextSavingCompleted : kTextSavingFailed);
    show();
}

void CMainProgDlg::onLoadQuestion() {
    if (closing()) return;
    m_mode = Mode::ConfirmingLoad;
    setMessage(kTextLoadQuestion);
    show();
}

void CMainProgDlg::onLoadYes() {
    if (m_mode != Mode::ConfirmingLoad) return;
    const std::string name = controls().text(kLoadName);
    writeWholeFile(services().files, kLoadingNameFile, name);
    const LoadStart load =
        startLoad(session().loadServices(), {name, m_verifyLoads ? ReadBack::On : ReadBack::Off});
    switch (load.status) {
        case LoadStart::Status::Started:
            rememberName(kLoadName, name);
            break;
        case LoadStart::Status::FileProblem:
            // Nothing is sent: the image still holds what it held.
            setMessage("loading failed: " + parameterFileProblem(name, load.file));
            return show();
        case LoadStart::Status::TargetChanged:
            setMessage("loading not started: " + std::string(kTextTargetChanged));
            return show();
        case LoadStart::Status::SnapshotFailed:
            setMessage(
                std::string("loading not started: ").append(snapshotNotSavedText(*load.snapshot)));
            return show();
    }
    std::string snapshotNote;
    if (load.snapshot) snapshotNote = "snapshot saved: " + load.snapshot->path;
    std::string notice = snapshotNote;
    if (load.stoppedRead) {
        notice = "full read stopped: the loaded file replaces the image" +
                 (notice.empty() ? "" : "; " + notice);
    }
    setNotice(notice);
    // Edits not yet committed would mix into the file.
    for (std::size_t row = 0; row < kMainCommits.size(); ++row) {
        const CommitKind kind = kMainCommits[row].kind;
        if (kind == CommitKind::Text || kind == CommitKind::EitherOr) m_deferred.drop(row);
    }
    // What the window shows, and the option bytes its next click starts from, are the file's.
    refreshMainValues(state(), controls());
    setMessage(std::string(kTextLoading) + (snapshotNote.empty() ? "" : "; " + snapshotNote));
    show();
}

// What loading the named file would change, shown before anything is written; nothing is sent.
void CMainProgDlg::onCompare() {
    take();
    const std::string name = controls().text(kLoadName);
    const ParameterFile file = readParameterFile(services().files, name);
    if (!file.read()) {
        setNotice("compare: " + parameterFileProblem(name, file));
        return show();
    }
    const auto after = workspaceWith(state().workspace, file);
    const std::string_view now = state().holdsDeviceData() ? "device now" : "image (not read yet)";
    dialog()->openChild(std::make_unique<CompareDlg>(
                            services().files, compareSettings(state().workspace.bytes(), after),
                            std::string(now), name, compareCsvPath(name)),
                        {});
}

// The files named for saving and for loading, as the command line's diff compares them: the
// second laid over the first.
void CMainProgDlg::onCompareFiles() {
    take();
    const std::string first = controls().text(kSaveName);
    const std::string second = controls().text(kLoadName);
    const ParameterFile before = readParameterFile(services().files, first);
    const ParameterFile after = readParameterFile(services().files, second);
    for (const auto& [name, file] : {std::pair{&first, &before}, std::pair{&second, &after}}) {
        if (file->read()) continue;
        setNotice("compare: " + parameterFileProblem(*name, *file));
        return show();
    }
    const auto base = std::make_unique<ParameterWorkspace>();
    applyParameterFile(*base, before);
    dialog()->openChild(
        std::make_unique<CompareDlg>(services().files,
                                     compareSettings(base->bytes(), workspaceWith(*base, after)),
                                     first, second, compareCsvPath(second)),
        {});
}

void CMainProgDlg::onLoadNo() {
    if (m_mode == Mode::ConfirmingLoad) m_mode = Mode::Ready;
    setMessage({});
    show();
}

void CMainProgDlg::onAlarmCode() {
    const AlarmCodeOutcome outcome = loadAlarmCode(services().files, m_alarmCode);
    if (outcome.bytes == 0) {
        // Nothing to send: blocks 64 on keep what the device holds.
        setDownloadNote(alarmCodeRefusal(outcome));
        show();
        return;
    }
    const auto bytes = std::span(m_alarmCode).first(outcome.bytes);
    link().describeNextWrite({"alarm code", std::string(kAlarmCodeFile), sha256Hex(bytes), {}, {}});
    link().startAlarmDownload(bytes);
}

void CMainProgDlg::handleTimer(TimerId id) {
    if (id == kAgreementTimer) return checkAgreement();
    onLinkTick();
}

// The deferred edits that fell due (or all of them): texts into the image, then their blocks.
void CMainProgDlg::commitFields(DeferredFields::Which which, CommitRows rows) {
    auto image = state().workspace.image();
    const auto chosen = [rows](std::size_t row) {
        const CommitKind kind = kMainCommits[row].kind;
        return rows == CommitRows::All || kind == CommitKind::Text || kind == CommitKind::EitherOr;
    };
    m_deferred.take(
        which,
        [&](std::size_t row) {
            const CommitRow& commit = kMainCommits[row];
            switch (commit.kind) {
                case CommitKind::Text: {
                    const TextField& field = *findRow(kMainTextFields, commit.id);
                    if (!storeField(field, controls().text(commit.id))) break;
                    std::bitset<kBlockCount> blocks;
                    for (int b = field.place.block; b <= lastBlockOf(field); ++b) {
                        link().requestBlockWrite(b);
                        blocks.set(static_cast<std::size_t>(b));
                    }
                    noteEdit(blocks);
                    break;
                }
                case CommitKind::EitherOr:
                    link().requestBlockWrite(0);
                    link().requestBlockWrite(1);
                    noteEdit(std::bitset<kBlockCount>().set(0).set(1));
                    break;
                case CommitKind::TargetPort:
                    writeWholeFile(services().files, kClientPortFile, controls().text(kTargetPort));
                    break;
                case CommitKind::TargetAddress:
                    if (!m_addressSaveAt)
                        m_addressSaveAt = services().clock.now() + kAddressSavePause;
                    break;
            }
        },
        chosen);
    saveAddressWhenDue(which == DeferredFields::Which::All && rows == CommitRows::All);
}

void CMainProgDlg::saveAddressWhenDue(bool now) {
    if (!m_addressSaveAt || (!now && services().clock.now() < *m_addressSaveAt)) return;
    m_addressSaveAt.reset();
    writeWholeFile(services().files, kServerAddressFile, controls().text(kTargetAddress));
}

void CMainProgDlg::onLinkTick() {
    commitFields(DeferredFields::Which::Due);
    followLink();
    show();
    scheduleTick(nextDue());
    if (m_mode == Mode::ClosingWhileWriting || m_mode == Mode::ClosingWithNotice) finishClosing();
}

// What the window's timer waits for: an edit's commit, the address file's save, the close waiting
// for the last writes. Each tick of the link wakes the window; while the link works the window
// also looks at least once a second, so that the progress bar's time left moves on.
std::optional<Clock::TimePoint> CMainProgDlg::nextDue() const {
    const Clock::TimePoint now = services().clock.now();
    std::optional<Clock::TimePoint> next;
    if (!link().settled()) next = now + kBusyShowPeriod;
    next = earliest(next, m_deferred.nextDue());
    next = earliest(next, m_addressSaveAt);
    if (m_mode == Mode::ClosingWhileWriting) next = now;
    if (m_mode == Mode::ClosingWithNotice) next = earliest(next, m_closeAt);
    return next;
}

// What the link did since the last tick: a read to show, a byte it rewrote, a load that ended.
void CMainProgDlg::followLink() {
    const LinkStatus& status = link().status();
    const LinkNews::News news = linkNews();
    if (news.read) {
        // Fields typed into meanwhile keep the typing: their commit is still to come.
        ControlValues typed = controls();
        refreshMainValues(state(), controls());
        for (const TextField& field : kMainTextFields) {
            if (commitPending(field.id)) controls().setText(field.id, typed.text(field.id));
        }
    }
    if (news.rewrite) refreshMainOptions(state(), controls());
    if (news.load && status.lastLoad) setMessage(loadOutcomeText(*status.lastLoad));
    followJobs(news);
}

void CMainProgDlg::handleSystemCommand(int command) {
    if (command == kAboutCommand) openOptions();
    if (command == kCompareFilesCommand) onCompareFiles();
    if (command != kHistoryCommand) return;
    dialog()->openChild(std::make_unique<HistoryDlg>(
                            historyText(historyOf(session().journal().read(), {}), "\r\n")),
                        {});
}

void CMainProgDlg::onPickFile(ControlId box) {
    static const std::array<std::string, 2> kFilters{"parameter files (*.bin)", "all files (*)"};
    const bool save = box == kSaveName;
    dialog()->pickFile(save ? "file to save in" : "file to load from", ".", kFilters,
                       save ? FilePick::Save : FilePick::Open,
                       [this, box](const std::string& name) { typeInto(box, name); });
}

void CMainProgDlg::typeInto(ControlId box, std::string_view text) {
    take();
    controls().setText(box, text);
    show();
    handleTextChange(box);
}

// A recent device is chosen as if its address and port were typed: another device than the one
// read takes no write until it is read.
void CMainProgDlg::handleChoice(ControlId id, int index) {
    const auto at = static_cast<std::size_t>(index);
    if (id == kRecentDevices && at < m_recentDevices.size()) {
        const Target target = m_recentDevices[at].target;
        typeInto(kTargetAddress, target.host);
        typeInto(kTargetPort, std::to_string(target.port));
        return;
    }
    const std::vector<std::string>& names = id == kSaveName ? m_recentSaves : m_recentLoads;
    if ((id == kSaveName || id == kLoadName) && at < names.size()) typeInto(id, names[at]);
}

void CMainProgDlg::readRecentLists() {
    FileSystem& files = services().files;
    const auto read = [&](std::string_view path) {
        return readFileStart(files, path, kRecentFileBytes).value_or("");
    };
    m_recentDevices = parseRecentDevices(read(kRecentDevicesFile));
    m_recentSaves = parseRecentFiles(read(kRecentSavesFile));
    m_recentLoads = parseRecentFiles(read(kRecentLoadsFile));
}

void CMainProgDlg::offerRecent() {
    std::vector<std::string> devices;
    for (const RecentDevice& d : m_recentDevices) devices.push_back(recentDeviceChoice(d));
    dialog()->setChoices(kRecentDevices, devices);
    dialog()->setChoices(kSaveName, m_recentSaves);
    dialog()->setChoices(kLoadName, m_recentLoads);
}

// The lists name the technician's sites: readable by the owner alone, like the journal.
void CMainProgDlg::rememberRead() {
    rememberDevice(m_recentDevices,
                   {state().source().device, dateTimeText(services().wallClock.localNow())});
    services().files.writeFileAtomically(kRecentDevicesFile, recentDevicesText(m_recentDevices),
                                         FileAccess::OwnerOnly);
    offerRecent();
}

void CMainProgDlg::rememberName(ControlId box, const std::string& name) {
    std::vector<std::string>& names = box == kSaveName ? m_recentSaves : m_recentLoads;
    rememberFile(names, name);
    services().files.writeFileAtomically(box == kSaveName ? kRecentSavesFile : kRecentLoadsFile,
                                         recentFilesText(names), FileAccess::OwnerOnly);
    offerRecent();
}

bool CMainProgDlg::contextEntryChecked(int command) const {
    return command == kVerifyLoadsCommand && m_verifyLoads;
}

// Taken by the next load; a load under way keeps what it was started with.
void CMainProgDlg::handleContextCommand(int command) {
    if (command == kVerifyLoadsCommand) m_verifyLoads = !m_verifyLoads;
}

// A new options window every time, filled from the image; not while a read is still filling it.
void CMainProgDlg::openOptions() {
    if (link().status().busyWith(TransferKind::FullRead)) {
        setNotice("wait for the read to finish");
        show();
        return;
    }
    // The other windows switch option bits this one shows.
    dialog()->openChild(std::make_unique<COptionsDlg>(services(), session()), [this](int) {
        refreshMainOptions(state(), controls());
        show();
    });
}

}  // namespace veskator
