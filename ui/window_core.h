#pragma once
// What every window of the programmer is made of: the platform's services, the shared session,
// its control values and its dialog; take and show (with the status line); the check that the
// image may be changed; the runner of its step programs; and the one interpreter of option-bit
// step lists.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/field_rules.h"
#include "platform/control_values.h"
#include "platform/dialog_window.h"
#include "platform/services.h"
#include "ui/bit_steps.h"
#include "ui/link_news.h"
#include "ui/session.h"
#include "ui/steps.h"

namespace veskator {

// The timer of a window's step programs; the windows' own timers have small ids.
inline constexpr TimerId kStepTimer = 100;

class WindowCore : public DialogWindow {
  public:
    const DialogTemplate& dialogTemplate() const override { return m_layout; }
    const ControlValues& values() const { return m_values; }
    // A handler's step program is still waiting out one of its fixed waits.
    bool programRunning() const { return m_steps.running(); }

    // The platform's notifications. Each runs the window's handler below and then shows what it
    // did before the thread is free again: a result never waits for a tick, and the timer may be
    // resting. While a step program runs they wait their turn, in order (Dialog::holdInput).
    bool onCloseRequested() final;
    void onEditEnter(ControlId id) final;
    void onTextChanged(ControlId id) final;
    void onClicked(ControlId id) final;
    void onSliderMoved(ControlId id) final;
    void onChosen(ControlId id, int index) final;
    void onSystemCommand(int command) final;
    void onContextCommand(int command) final;
    void onTimer(TimerId id) final;
    // A key the box's kind does not take: the status line says what it takes.
    void onInputRefused(ControlId id) final;

  protected:
    // The window's handlers, as the platform names them.
    virtual bool handleCloseRequest() { return true; }
    virtual void handleEnter(ControlId /*id*/) {}
    virtual void handleTextChange(ControlId /*id*/) {}
    virtual void handleClick(ControlId /*id*/) {}
    virtual void handleSlider(ControlId /*id*/) {}
    virtual void handleChoice(ControlId /*id*/, int /*index*/) {}
    virtual void handleSystemCommand(int /*command*/) {}
    virtual void handleContextCommand(int /*command*/) {}
    virtual void handleTimer(TimerId /*id*/) {}

    // Runs the program's steps up to its first wait now, the rest when their waits have passed.
    void runProgram(StepProgram program);

    // `timer` ticks the window at `tickPeriod` while anything is due, and rests otherwise.
    WindowCore(Services& services, Session& session, const DialogTemplate& layout,
               ControlId statusLine, TimerId timer, std::chrono::milliseconds tickPeriod);
    ~WindowCore() override;
    WindowCore(const WindowCore&) = delete;
    WindowCore& operator=(const WindowCore&) = delete;

    // The window is open in `dialog` (from onInit) or closed (onClosed): while open, work for
    // the link and news from it wake its timer. A program still running at the close runs its
    // steps left at once: nothing a handler began is left half done.
    void attach(Dialog& dialog);
    void detach();

    // The window's timer. A window at rest costs nothing: its timer runs only while something
    // is due (an edit's second, a follow-up, a poll, the link at work), at the tick period or
    // until the time of the next thing due, and rests when nothing is.
    void wake();
    void armTick(std::chrono::milliseconds period);
    // After a tick: the next one when `next` comes (not sooner than the tick period), or rest.
    void scheduleTick(std::optional<Clock::TimePoint> next);
    bool resting() const { return !m_armed.has_value(); }

    void take();
    // Every value into its control (a control that already shows it is left alone), then the
    // status line.
    void show();
    // The status line alone: a show would wipe what is being typed into an edit whose handler
    // has not taken it yet.
    void showStatusLine();
    // The label a control is known by: its accessible name, else its text.
    std::string labelOf(ControlId id) const;
    // After every handler; a closed window shows nothing.
    void showAfterHandler();
    // Put into the values just before a show: texts the window takes from elsewhere.
    virtual void beforeShow() {}
    // What the window puts before the link's words on its status line.
    virtual std::string statusPrefix() const { return {}; }
    // The window's word for its last job, after the link's state on its status line.
    virtual std::string lastJobWords() const { return {}; }

    // What the link did since the window last asked (nothing from before it opened).
    LinkNews::News linkNews() { return m_news.take(m_link.status()); }

    // True when the image holds the target device's settings and may be changed; otherwise every
    // status line says why not, the controls go back to what they showed, and false.
    bool deviceDataPresent();

    // The boxes take only the characters their kinds allow (a port box takes digits).
    void applyInputRules(std::span<const TextField> fields);
    void applyInputRule(ControlId id, TextKind kind);
    // Stores the text into its field when the field's kind takes it. Otherwise nothing changes:
    // every status line says why, the box goes back to what the image holds, and false.
    bool storeField(const TextField& field, std::string_view text);
    // Says on every status line, until something newer replaces it.
    void setNotice(std::string notice) { m_session.setNotice(std::move(notice)); }

    std::uint8_t& imageByte(ImagePlace place);
    // The byte a click switches: the working copy where the byte has one, else the image byte.
    std::uint8_t& switchByte(ImagePlace place);

    // One click on the bit of `id`, row of `bits`, as its step list says (a program: its waits
    // hold nothing up). ShowBit sets every button of `bits` that shows the same bit.
    void runBitSteps(BitSteps steps, std::span<const OptionBit> bits, ControlId id,
                     Change change = Change::Flip);

    Services& services() const { return m_services; }
    Session& session() const { return m_session; }
    ProgrammerState& state() const { return m_state; }
    LinkEngine& link() const { return m_link; }
    // What the controls show, as the handlers take and change it.
    ControlValues& controls() { return m_values; }
    // The dialog the window is open in; none before onInit and after onClosed.
    Dialog* dialog() const { return m_dialog; }

  private:
    // What came while a program ran, or its own end: runs what waited, then the tick held back.
    void continueProgram();
    bool holdWhileRunning(std::function<void()> notification);
    void runHeld();
    void performBitOp(BitOp op, std::span<const OptionBit> bits, const OptionBit& bit,
                      Change change);

    Services& m_services;
    Session& m_session;
    ProgrammerState& m_state;
    LinkEngine& m_link;
    ControlValues m_values;
    Dialog* m_dialog = nullptr;
    const DialogTemplate& m_layout;
    ControlId m_statusLine;
    TimerId m_timer;
    std::chrono::milliseconds m_tickPeriod;
    std::optional<std::chrono::milliseconds> m_armed;     // the period the timer runs at
    std::vector<std::pair<ControlId, TextKind>> m_kinds;  // boxes with input rules
    LinkNews m_news;
    StepRunner m_steps;
    std::deque<std::function<void()>> m_held;  // notifications that came during a program
    bool m_tickHeld = false;
    bool m_runningHeld = false;
};

// The earlier of two times, either of which may be none.
inline std::optional<Clock::TimePoint> earliest(std::optional<Clock::TimePoint> a,
                                                std::optional<Clock::TimePoint> b) {
    if (!a) return b;
    if (!b) return a;
    return std::min(*a, *b);
}

}  // namespace veskator
