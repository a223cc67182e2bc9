#pragma once
// The headless test double of the window seam: controls held in memory, timers on a virtual
// clock, and modal children whose time open a test scripts. Deterministic: nothing here sleeps or
// looks at the real time.

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "platform/wall_clock.h"
#include "platform/window_system.h"

namespace veskator {

class VirtualClock final : public Clock {
  public:
    TimePoint now() const override { return m_now; }
    void set(TimePoint t) { m_now = t; }
    void advance(std::chrono::milliseconds d) { m_now += d; }
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(m_now - TimePoint{});
    }

  private:
    TimePoint m_now{};
};

// The calendar time stands still until a test sets it.
class FixedWallClock final : public WallClock {
  public:
    LocalTime localNow() const override { return m_time; }
    void set(LocalTime time) { m_time = time; }

  private:
    LocalTime m_time{2026, 12, 8, 14, 3, 22};
};

class HeadlessWindowSystem;

class HeadlessDialog final : public Dialog {
  public:
    HeadlessDialog(HeadlessWindowSystem& system, DialogWindow& window);

    // Dialog
    std::string text(ControlId id) const override;
    void setText(ControlId id, std::string_view text) override;
    bool isChecked(ControlId id) const override;
    void setChecked(ControlId id, bool on) override;
    void setSliderRange(ControlId id, int low, int high) override;
    int sliderPosition(ControlId id) const override;
    void setSliderPosition(ControlId id, int position) override;
    void setCharLimit(ControlId id, int limit) override;
    int charLimit(ControlId id) const override;
    void setPasswordMode(ControlId id, bool masked) override;
    void setAllowedCharacters(ControlId id, std::string_view characters) override;
    void setEnabled(ControlId id, bool enabled) override;
    bool isEnabled(ControlId id) const override;
    void setTable(ControlId id, const TableContent& content) override;
    void setChoices(ControlId id, std::span<const std::string> choices) override;
    void suppressNotifications(bool on) override;
    void holdInput(bool held) override;
    void armTimer(TimerId id, std::chrono::milliseconds period) override;
    void killTimer(TimerId id) override;
    void triggerTimer(TimerId id) override;
    // The child's script runs before this returns; `closed` then gets the child's result.
    void openChild(std::unique_ptr<DialogWindow> child, std::function<void(int)> closed) override;
    // Answered at once, by the answerer.
    void ask(std::string_view question, std::function<void(bool)> answered) override;
    // Answered at once, by the picker.
    void pickFile(std::string_view title, std::string_view folder,
                  std::span<const std::string> filters, FilePick mode,
                  std::function<void(std::string)> picked) override;
    void close(int result) override;

    // What a user does; a disabled control takes none of it. Each keystroke is one text change,
    // as an edit control reports it, and one past the limit is refused without a change.
    // User input: while the window holds its input, each action waits and comes in order once it
    // is let go (typing, key by key).
    void typeText(ControlId id, std::string_view text);
    void replaceText(ControlId id, std::string_view text);  // one change: select all, paste
    void click(ControlId id);
    void moveSlider(ControlId id, int position);
    // Picks choice `index` of a drop-down or an edit's menu; false, and nothing raised, when it
    // has no such choice.
    bool choose(ControlId id, int index);
    void systemCommand(int command);
    // The right-click menu as it shows when opened now: each entry's text and mark.
    struct MenuEntryShown {
        std::string text;
        bool checkable = false;
        bool checked = false;
        bool operator==(const MenuEntryShown&) const = default;
    };
    std::vector<MenuEntryShown> contextMenu() const;
    // A right click, then the entry of that text; false, and nothing raised, when the menu has
    // none.
    bool chooseContextEntry(std::string_view text);
    // Enter with the focus on `id`: a one-line edit has its own action; elsewhere it asks to close.
    void pressEnter(ControlId id);
    // Escape or the close box.
    void requestClose();
    // How questions are answered; without an answerer every question gets "no".
    void onAsk(std::function<bool(const std::string&)> answerer) {
        m_answerer = std::move(answerer);
    }

    // How file dialogs are answered; without a picker every one is cancelled.
    struct FilePickAsked {
        std::string title;
        std::string folder;
        std::vector<std::string> filters;
        FilePick mode = FilePick::Open;
    };
    void onPickFile(std::function<std::optional<std::string>(const FilePickAsked&)> picker) {
        m_picker = std::move(picker);
    }

    // What a test inspects.
    DialogWindow& window() { return m_window; }
    bool isClosed() const { return m_closed; }
    int result() const { return m_result; }
    bool isPassword(ControlId id) const;
    std::pair<int, int> sliderRange(ControlId id) const;
    int writeCount(ControlId id) const;  // programmatic content changes of a control
    std::optional<std::chrono::milliseconds> timerPeriod(TimerId id) const;
    const std::vector<std::string>& questions() const { return m_questions; }
    const std::vector<FilePickAsked>& filePicks() const { return m_picks; }
    const TableContent& table(ControlId id) const { return control(id).table; }
    const std::vector<std::string>& choices(ControlId id) const { return control(id).choices; }

  private:
    friend class HeadlessWindowSystem;
    struct Control {
        ControlKind kind = ControlKind::Label;
        std::string text;
        bool checked = false;
        int low = 0, high = 100, position = 0;
        int charLimit = 0;
        bool password = false;
        bool enabled = true;
        std::string allowed;  // empty: any
        int writes = 0;
        TableContent table;
        std::vector<std::string> choices;
    };
    struct Timer {
        std::chrono::milliseconds period{};
        Clock::TimePoint due{};
    };
    Control& control(ControlId id);
    const Control& control(ControlId id) const;
    bool notifying() const { return m_suppressed == 0 && !m_closed; }
    // True when the action waits for the input to be let go.
    bool heldBack(std::function<void()> action);

    HeadlessWindowSystem& m_system;
    DialogWindow& m_window;
    std::map<ControlId, Control> m_controls;
    std::vector<ContextMenuEntry> m_contextMenu;  // as the window gave it when built
    std::map<TimerId, Timer> m_timers;
    int m_suppressed = 0;
    bool m_closed = false;
    bool m_inputHeld = false;
    std::deque<std::function<void()>> m_heldInput;
    int m_result = 0;
    std::function<bool(const std::string&)> m_answerer;
    std::vector<std::string> m_questions;
    std::function<std::optional<std::string>(const FilePickAsked&)> m_picker;
    std::vector<FilePickAsked> m_picks;
};

class HeadlessWindowSystem final : public WindowSystem {
  public:
    // What happens while a window opened by run or openChild is open: the test acts on it and
    // on the virtual clock, then returns (the window is closed afterwards if it is still open).
    using ModalScript = std::function<void(HeadlessDialog&)>;

    VirtualClock& clock() { return m_clock; }

    // Opens a window without running it; it stays open until closed, so a test can drive it
    // step by step.
    HeadlessDialog& open(DialogWindow& window);
    int run(DialogWindow& window) override;
    // Runs on the virtual clock, through callAt.
    std::unique_ptr<Alarm> makeAlarm(std::function<void()> action) override;
    // Scripts for windows run or opened as children, by template resource id.
    void onModal(int resourceId, ModalScript script);

    // Runs the action once the virtual clock reaches `due`, in time order with the ticks (before
    // a tick due at the same time). The key cancels it.
    int callAt(Clock::TimePoint due, std::function<void()> action);
    void cancelCall(int key) { m_calls.erase(key); }

    // Moves the virtual clock on, running every tick and call that falls due on the way, in time
    // order.
    void advance(std::chrono::milliseconds duration);
    // Runs the ticks that are already due.
    void runDue() { advance(std::chrono::milliseconds{0}); }
    int tickCount() const { return m_ticks; }

  private:
    friend class HeadlessDialog;
    int runOpened(HeadlessDialog& dialog);
    void closeDialog(HeadlessDialog& dialog);
    HeadlessDialog* nextDue(Clock::TimePoint limit, TimerId& id);

    struct Call {
        Clock::TimePoint due;
        std::function<void()> action;
    };

    VirtualClock m_clock;
    std::vector<std::unique_ptr<HeadlessDialog>> m_open;
    std::map<int, Call> m_calls;  // by key, which grows: equal times run in the order called
    int m_nextCallKey = 1;
    std::map<int, ModalScript> m_scripts;
    int m_ticks = 0;
};

}  // namespace veskator
