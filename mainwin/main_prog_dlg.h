#pragma once
// The main programming window: device address, receiver and message-format settings, parameter
// files, and the three status texts. Its timer runs the link engine.

#include <array>
#include <chrono>
#include <memory>
#include <optional>

#include "link/link_engine.h"
#include "model/programmer_state.h"
#include "model/main_fields.h"
#include "platform/control_values.h"
#include "platform/dialog_window.h"
#include "platform/services.h"
#include "ui/deferred_fields.h"
#include "ui/link_progress.h"

namespace veskator {

inline constexpr TimerId kLinkTimer = 1;
inline constexpr TimerId kAgreementTimer = 2;
inline constexpr std::chrono::milliseconds kTickPeriod{10};
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

inline constexpr std::string_view kQuestionDialerUpload =
    "The DV70-1 upload is still running. Close now and leave the dialer with part of its list?";

class CMainProgDlg final : public DialogWindow {
  public:
    CMainProgDlg(Services& services, ProgrammerState& state, LinkEngine& link);

    const DialogTemplate& dialogTemplate() const override;
    void onInit(Dialog& dialog) override;
    void onClosed() override;
    bool onCloseRequested() override;
    void onEditEnter(ControlId id) override;
    void onTextChanged(ControlId id) override;
    void onClicked(ControlId id) override;
    void onTimer(TimerId id) override;
    void onSystemCommand(int command) override;
    std::span<const ContextMenuEntry> contextMenuEntries() const override {
        return kMainContextMenu;
    }
    bool contextEntryChecked(int command) const override;
    void onContextCommand(int command) override;

    const ControlValues& values() const { return m_values; }
    bool disclaimerAccepted() const { return m_disclaimerAccepted; }
    bool loadConfirmPending() const { return m_loadConfirmPending; }
    bool verifyLoads() const { return m_verifyLoads; }
    // Deferred edits of the field (or option pair) `id` not yet committed.
    bool commitPending(ControlId id) const;
    int pendingCommits() const { return m_deferred.pendingCount(); }

  private:
    void readWorkingFiles();
    void take();
    void show();
    std::string statusText() const;
    // True when the image may be changed; otherwise says why not and shows the values again.
    bool deviceDataPresent();
    void finishClosing();
    void commitFields(DeferredFields::Which which);
    void saveAddressWhenDue(bool now);
    void markField(ControlId id);

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
    void onAlarmCode();
    void openOptions();
    void onLinkTick();
    void showProgress();

    Services& m_services;
    ProgrammerState& m_state;
    LinkEngine& m_link;
    ControlValues m_values;
    Dialog* m_dialog = nullptr;
    DeferredFields m_deferred;
    std::array<std::uint8_t, kAlarmCodeBufferSize> m_alarmCode{};
    std::optional<Clock::TimePoint> m_addressSaveAt;  // the address file follows a short pause
    bool m_disclaimerAccepted = false;
    bool m_loadConfirmPending = false;
    bool m_verifyLoads = true;  // a load reads its blocks back
    // Events of the link already shown: a full read's refresh, a rewritten option byte.
    int m_readsShown = 0;
    int m_rewritesShown = 0;
    // A close was asked for while changes were still to go: the window closes once they have.
    bool m_closing = false;
    bool m_asking = false;
    LinkProgress m_progress;
    ProgressView m_progressShown;
};

}  // namespace veskator
