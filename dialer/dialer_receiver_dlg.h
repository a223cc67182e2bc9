#pragma once
// The dialer, receiver and bridge window: the DV70-1 dialer's telephone list, test schedule and
// options with the upload of the list; the RZ50 receiver's output format, heartbeat, enable and
// socket sizes; the RS232 baud rate; the serial bridge's MAC files and pairing frame; and the
// subscriber information. Image settings are written as they change (delays and the subscriber
// text a second after the last keystroke); the upload is a job of the link and goes on when the
// window closes.

#include <chrono>
#include <string>
#include <string_view>

#include "model/dialer_fields.h"
#include "ui/deferred_fields.h"
#include "ui/window_core.h"

namespace veskator {

inline constexpr TimerId kDialerTimer = 1;
inline constexpr std::chrono::milliseconds kDialerTickPeriod{10};
// Fixed pauses of the handlers: the dialer's tools have always paced the user this way.
inline constexpr std::chrono::milliseconds kMovePause{500};
inline constexpr std::chrono::milliseconds kTogglePause{500};
inline constexpr std::chrono::milliseconds kUploadPause{500};
inline constexpr std::chrono::milliseconds kTypingPause{100};
inline constexpr std::chrono::milliseconds kFormatPause{100};
inline constexpr std::chrono::milliseconds kSocketSizePause{200};
inline constexpr std::chrono::milliseconds kMacFilePause{10};

class CDialerReceiverDlg final : public WindowCore {
  public:
    CDialerReceiverDlg(Services& services, Session& session);

    void onInit(Dialog& dialog) override;
    void onClosed() override;
    void handleTimer(TimerId id) override;

    int pendingEdits() const { return m_deferred.pendingCount(); }
    bool followUpPending() const { return m_a1FollowUp; }

  private:
    bool handleCloseRequest() override;
    void handleEnter(ControlId id) override;
    void handleTextChange(ControlId id) override;
    void handleClick(ControlId id) override;

    // Opening.
    void fillMacAddresses();
    void fillNumbers();
    void fillOptions();
    void showLine();
    void showSchedule();

    // The dialer.
    void onMoveLine(int step);
    void onMoveSchedule(int step);
    void onTelephoneTyped();
    void onScheduleTyped();
    void onToggle(ControlId id);
    void onUpload();

    // The receiver, the bridge and the subscriber information.
    void onFormat(ControlId id);
    void onHeartbeat();
    void onBaudRate(ControlId id);
    void onSocketSize(ControlId id);
    void onMacTyped(ControlId id);
    void onPair();

    // Deferred edits and the timer.
    void onDeferredEdit(ControlId id);
    void onTick();
    std::optional<Clock::TimePoint> nextDue() const;
    void writeEdits(DeferredFields::Which which);
    void writeRow(const DeferredDialerRow& row);
    void sendA1FollowUp();
    void followUpload();
    void followPairing();
    void followImageRewrites();
    void flushOnClose();

    // The image is the target device's: the window's settings may change it.
    bool imageIsTargets() const { return state().holdsDataOf(link().target()); }
    void refuseEdit(ControlId id);
    // Checks the chosen row of a choice table (formats, baud rates) and unchecks the others.
    template <typename Table>
    void showChoice(const Table& rows, ControlId chosen) {
        for (const auto& row : rows) controls().setChecked(row.id, row.id == chosen);
    }
    void appendLog(std::string_view text);

    DeferredFields m_deferred;
    int m_line = 0;
    int m_position = 0;
    bool m_a1FollowUp = false;
    // The upload the log follows, and how much of it has been logged.
    int m_loggedUpload = 0;
    int m_loggedChunks = 0;
    bool m_endLogged = true;
};

}  // namespace veskator
