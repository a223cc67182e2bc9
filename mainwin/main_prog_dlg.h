#pragma once
// The main programming window: device address, receiver and message-format settings, parameter
// files, and the three status texts. Its timer runs the link engine.

#include <array>
#include <bitset>
#include <chrono>
#include <memory>
#include <optional>

#include "model/main_fields.h"
#include "model/parameter_files.h"
#include "model/recent_lists.h"
#include "ui/deferred_fields.h"
#include "ui/link_progress.h"
#include "ui/window_core.h"

namespace veskator {

inline constexpr TimerId kLinkTimer = 1;
inline constexpr TimerId kAgreementTimer = 2;
inline constexpr std::chrono::milliseconds kTickPeriod{10};
// While the link works, the window looks at least this often, whatever the engine waits for.
inline constexpr std::chrono::milliseconds kBusyShowPeriod{1000};
inline constexpr std::chrono::milliseconds kAddressSavePause{200};
// The agreement is judged on Enter or once typing has paused this long: long enough that "yes"
// typed slowly is never taken for its first letter.
inline constexpr std::chrono::milliseconds kAgreementPause{1000};

// The window's right-click menu: whether a load reads the written blocks back.
inline constexpr int kVerifyLoadsCommand = 1;
inline constexpr std::string_view kVerifyLoadsEntry = "Verify loads by reading the blocks back";
inline constexpr std::array<ContextMenuEntry, 1> kMainContextMenu{
    {{kVerifyLoadsCommand, kVerifyLoadsEntry, true}}};

inline constexpr std::string_view kLiabilityFile = "./program/liability";
inline constexpr std::string_view kProgramDirectory = "./program";
inline constexpr std::string_view kAgreement = "agree";
inline constexpr std::string_view kTextAgreedOnFile =
    "You had agreeed with our no liability policy.";
inline constexpr std::string_view kTextAgreedNow = "You agreeed with our liability policy.";
inline constexpr std::string_view kDisclaimerText =
    "Norvane,Inc. does not provide liability for using"
    " all software and our products. Please enter 'y' in the message window for agreeing "
    "\r\n"
    "with Norvane's software terms and liability policy.";

// Byte limits of the working files read at start-up, and of the names shown from them.
inline constexpr std::size_t kNameFileBytes = 50;
inline constexpr std::size_t kNameShownChars = 20;
inline constexpr std::size_t kPortFileBytes = 20;
inline constexpr std::size_t kAddressFileBytes = 50;

// How long a closing window shows which blocks the device did not take before it closes.
inline constexpr std::chrono::milliseconds kUnwrittenNoticePause{2000};

inline constexpr std::string_view kQuestionDialerUpload =
    "The DV70-1 upload is still running. Close now and leave the dialer with part of its list?";

class CMainProgDlg final : public WindowCore {
  public:
    CMainProgDlg(Services& services, Session& session);

    void onInit(Dialog& dialog) override;
    void onClosed() override;
    void handleTimer(TimerId id) override;
    std::span<const ContextMenuEntry> contextMenuEntries() const override {
        return kMainContextMenu;
    }
    bool contextEntryChecked(int command) const override;

    bool disclaimerAccepted() const { return m_agreement == Agreement::OnFile; }
    bool loadConfirmPending() const { return m_mode == Mode::ConfirmingLoad; }
    bool verifyLoads() const { return m_verifyLoads; }
    // Deferred edits of the field (or option pair) `id` not yet committed.
    bool commitPending(ControlId id) const;
    int pendingCommits() const { return m_deferred.pendingCount(); }

  private:
    bool handleCloseRequest() override;
    void handleEnter(ControlId id) override;
    void handleTextChange(ControlId id) override;
    void handleClick(ControlId id) override;
    void handleSystemCommand(int command) override;
    void handleContextCommand(int command) override;
    void handleChoice(ControlId id, int index) override;

    // The window's own words in a control the link writes too: shown until the link's next word.
    struct Overlay {
        std::string text;
        int linkChanges = 0;  // the link's count of changes when the words were put there
    };

    void readWorkingFiles();
    void beforeShow() override;
    std::string statusPrefix() const override;
    std::string lastJobWords() const override;
    // An edit of the device (a text committed, an option clicked) whose blocks are now asked for.
    void noteEdit(std::bitset<kBlockCount> blocks);
    // The word after each job: a read, a load, edits the link has written.
    void followJobs(const LinkNews::News& news);
    void setTraceNote(std::string text);
    void setDownloadNote(std::string text);
    void setMessage(std::string_view text) { controls().setText(main_ids::kMessageWindow, text); }
    // The link serves the device typed into the target address and port.
    void updateTarget();
    void onCloseAnswered(bool discard);
    void finishClosing();
    void sayUnwritten();
    // The deferred edits of the device (texts and the option pair), or all of them (the target
    // files too).
    enum class CommitRows { Device, All };
    void commitFields(DeferredFields::Which which, CommitRows rows = CommitRows::All);
    void saveAddressWhenDue(bool now);

    void onFieldChanged(ControlId id);
    void onAgreementTyped();
    void checkAgreement();
    void onOption(ControlId id);
    void onEitherOr(ControlId id);
    void onStartGo();
    void onFinalize();
    void onSave();
    void onLoadQuestion();
    void onLoadYes();
    void onLoadNo();
    void onCompare();
    void onCompareFiles();
    void onAlarmCode();
    // The file dialog for the save or load name; the name picked goes into the box as if typed.
    void onPickFile(ControlId box);
    // A name or a target put into its box as if the technician had typed it.
    void typeInto(ControlId box, std::string_view text);
    // The recent lists: read at start-up, offered in their lists, written whole at each change.
    void readRecentLists();
    void offerRecent();
    void rememberRead();
    void rememberName(ControlId box, const std::string& name);
    void openOptions();
    void onLinkTick();
    std::optional<Clock::TimePoint> nextDue() const;
    void followLink();
    void showProgress();

    DeferredFields m_deferred;
    std::array<std::uint8_t, kAlarmCodeBufferSize> m_alarmCode{};
    std::optional<Clock::TimePoint> m_addressSaveAt;  // the address file follows a short pause
    // Without the agreement on file, Start/Go shows the disclaimer and reads nothing.
    enum class Agreement { Awaiting, OnFile };
    Agreement m_agreement = Agreement::Awaiting;
    // What the window is doing. Load asks in the message window and waits for YES or NO. A close
    // with changes still to go writes them first (a second request asks whether to give them up),
    // then says for a moment what the device did not take.
    enum class Mode {
        Ready,
        ConfirmingLoad,
        ClosingWhileWriting,
        AskingToClose,
        ClosingWithNotice
    };
    Mode m_mode = Mode::Ready;
    bool closing() const { return m_mode >= Mode::ClosingWhileWriting; }
    bool m_verifyLoads = true;  // a load reads its blocks back
    std::optional<Overlay> m_traceNote;
    std::optional<Overlay> m_downloadNote;
    std::optional<Clock::TimePoint> m_closeAt;  // ClosingWithNotice: when the window closes
    LinkProgress m_progress;
    ProgressView m_progressShown;
    // The status line's word for the last job, until the next one ends.
    std::string m_lastJob;
    // Edits whose blocks the link is still to write; said once it has.
    struct EditsUnderWay {
        int edits = 0;
        std::bitset<kBlockCount> blocks;
        int refusals = 0;  // the link's count of refusals when the first was asked for
    };
    std::optional<EditsUnderWay> m_editsUnderWay;
    std::vector<RecentDevice> m_recentDevices;
    std::vector<std::string> m_recentSaves;
    std::vector<std::string> m_recentLoads;
};

}  // namespace veskator
