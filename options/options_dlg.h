#pragma once
// The communicator options window: e-mail, dynamic DNS, alarm monitor, siren, Contact ID
// messages, test reports and telephone line. Every change goes into the shared image and its
// block is handed to the link engine; text edits a second after the last keystroke, numbers and
// sliders at once. Its timer also polls the device for the live state of the two alarm loops.

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "model/options_fields.h"
#include "options/lan_discovery.h"
#include "options/option_switches.h"
#include "ui/deferred_fields.h"
#include "ui/window_core.h"

namespace veskator {

inline constexpr TimerId kOptionsTimer = 1;
inline constexpr std::chrono::milliseconds kOptionsTickPeriod{10};
// The loop status is asked for about once a second while polling is on, whatever the tick rate.
inline constexpr std::chrono::milliseconds kPollInterval{1010};
// Fixed pauses of the handlers: the device's tools have always paced the user this way.
inline constexpr std::chrono::milliseconds kSoundBoxPause{1000};
inline constexpr std::chrono::milliseconds kModulationPause{200};
inline constexpr std::chrono::milliseconds kSliderPauseBefore{500};
inline constexpr std::chrono::milliseconds kSliderPauseAfter{200};
inline constexpr std::chrono::milliseconds kPollSwitchPause{500};
// What the message box says while the network is searched.
inline constexpr std::string_view kSearchingText = "searching the local network ...";

class COptionsDlg final : public WindowCore {
  public:
    COptionsDlg(Services& services, Session& session);

    void onInit(Dialog& dialog) override;
    void onClosed() override;
    void handleTimer(TimerId id) override;

    bool editPending(ControlId id) const;
    int pendingEdits() const { return m_deferred.pendingCount(); }
    // The second write of a clear button (1095, 1096) still to come.
    bool followUpPending(ControlId clearButton) const;

  private:
    bool handleCloseRequest() override;
    void handleEnter(ControlId id) override;
    void handleTextChange(ControlId id) override;
    void handleClick(ControlId id) override;
    void handleSlider(ControlId id) override;

    enum class OpeningOp {
        ShowEmpty,
        ModulationBox,
        PanelOrReceiver,
        TelephoneOptions,
        Texts,
        SharedOptions,
        Sliders,
        TestRate,
        SoundLevel,
        OtherOptions,
        Show,
        StartTimer,
    };
    void perform(OpeningOp op);

    void showOption(ControlId id);
    void showSlider(const SliderRow& row);
    void showLoopStatus();

    void onDeferredEdit(ControlId id);
    void onSoundBox();
    void onModulationBox();
    void onPollingSwitch();
    void onDisplayAddresses();
    void showListing(std::string listing);
    void onDialerWindow();
    void onTick();
    std::optional<Clock::TimePoint> nextDue() const;
    void pollWhenDue();
    void writeEdits(DeferredFields::Which which);
    void writeRow(const DeferredRow& row);
    void followImageRewrites();

    // Switches and action buttons (option_switches.h).
    void onSwitch(ControlId id);
    void onSendTests();
    void onClear(ControlId id);
    void onForceUpdate();
    void onHistoryFile();
    void sendFollowUps(DeferredFields::Which which);

    DeferredFields m_deferred;
    // The stars a masked box shows until its first edit; empty once it has been edited.
    std::array<std::string, 2> m_placeholders;
    std::optional<Clock::TimePoint> m_nextPoll;
    // When each clear's second write is due, one per row of kClearRows.
    std::array<std::optional<Clock::TimePoint>, kClearRows.size()> m_followUps;
    // Last, so that it goes first: a search still running ends before the window's values do.
    LanDiscovery m_discovery;
};

}  // namespace veskator
