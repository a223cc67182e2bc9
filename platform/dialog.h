#pragma once
// The window seam: window classes talk to their controls and timers only through
// `Dialog`, so the same class runs on real Qt widgets and on the headless double.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/table.h"
#include "resources/dialog_template.h"

namespace veskator {

class DialogWindow;
using TimerId = int;
// The result of a run the user ended by asking the window to close.
inline constexpr int kCancelResult = 2;

// What a file dialog asks for: a file that is there, or the name to save under (which may be new;
// a file of that name is not asked about, the window decides).
enum class FilePick { Open, Save };

class Dialog {
  public:
    virtual ~Dialog() = default;

    // Controls, addressed by template id. Text is 8-bit bytes (one character per byte), so the
    // device's bytes pass through a control unchanged, line ends included; a control holds its
    // text up to the first zero byte. Setting a control's content from code never raises the
    // window's notifications.
    virtual std::string text(ControlId id) const = 0;
    virtual void setText(ControlId id, std::string_view text) = 0;
    virtual bool isChecked(ControlId id) const = 0;
    virtual void setChecked(ControlId id, bool on) = 0;
    // Sliders and progress bars: a range and a position; a progress bar's text is set by setText.
    virtual void setSliderRange(ControlId id, int low, int high) = 0;
    virtual int sliderPosition(ControlId id) const = 0;
    virtual void setSliderPosition(ControlId id, int position) = 0;
    // The limit bounds what the user types: a longer text set from code is shown whole, and the
    // user may shorten it but never lengthen it.
    virtual void setCharLimit(ControlId id, int limit) = 0;  // 0: no limit
    virtual int charLimit(ControlId id) const = 0;
    virtual void setPasswordMode(ControlId id, bool masked) = 0;
    // The characters the user may type into a one-line edit (empty: any character the control
    // can hold). A key or a paste with any other is refused whole and raises onInputRefused; text
    // set from code is shown as it is.
    virtual void setAllowedCharacters(ControlId id, std::string_view characters) = 0;
    // A disabled control takes no user input (clicks, typing, slider moves); code still sets its
    // content.
    virtual void setEnabled(ControlId id, bool enabled) = 0;
    virtual bool isEnabled(ControlId id) const = 0;

    // Tables: the content replaces what the table showed. The user sorts it by a column, opens
    // rows and copies the selected ones (Ctrl+C: tableText of them). text() of a table is
    // tableText of every row.
    virtual void setTable(ControlId id, const TableContent& content) = 0;
    // The choices a drop-down lists, or that a one-line edit offers in its right-click menu;
    // picking one raises onChosen with its index. None: the list is empty.
    virtual void setChoices(ControlId id, std::span<const std::string> choices) = 0;

    // While suppressed (calls nest), notifications raised by the controls are dropped: a show
    // must never run a handler.
    virtual void suppressNotifications(bool on) = 0;

    // While held, what the user does to this window (keys, clicks, the wheel) waits, and comes in
    // order once it is let go: a handler's fixed wait holds the window's input, never the thread.
    // The window keeps painting, and its timers and every other window run on.
    virtual void holdInput(bool held) = 0;

    // One periodic timer per id; arming it again replaces the period. Ticks and handlers never
    // overlap.
    virtual void armTimer(TimerId id, std::chrono::milliseconds period) = 0;
    virtual void killTimer(TimerId id) = 0;
    // Runs the timer's tick as soon as the window is free, once, without changing its period.
    virtual void triggerTimer(TimerId id) = 0;

    // Opens a child window in front of this one and returns at once. The child is kept until it
    // has closed; `closed` then gets its result (never after this window has closed). Meanwhile
    // this window takes no input, and its timers run on. One child at a time: a second one asked
    // for while the first is open is not opened.
    virtual void openChild(std::unique_ptr<DialogWindow> child,
                           std::function<void(int)> closed) = 0;
    // Asks the user a yes/no question in a message box in front of this window, and returns at
    // once; `answered` gets true for yes, once the user has answered (never after the window has
    // closed). The window takes no input meanwhile; its timers run on.
    virtual void ask(std::string_view question, std::function<void(bool)> answered) = 0;
    // The platform's file dialog in front of this window, opened in `folder`, offering `filters`
    // ("parameter files (*.bin)"), and returns at once. `picked` gets the name picked, relative to
    // `folder` when it lies there, once the user has picked one (never when they cancel, nor
    // after this window has closed). The timers of this window keep running while it is open.
    virtual void pickFile(std::string_view title, std::string_view folder,
                          std::span<const std::string> filters, FilePick mode,
                          std::function<void(std::string)> picked) = 0;
    // Closes this window at once, without asking the window.
    virtual void close(int result) = 0;
};

// Keeps a dialog's notifications suppressed for a scope.
class NotificationBlocker {
  public:
    explicit NotificationBlocker(Dialog& dialog) : m_dialog(dialog) {
        m_dialog.suppressNotifications(true);
    }
    ~NotificationBlocker() { m_dialog.suppressNotifications(false); }
    NotificationBlocker(const NotificationBlocker&) = delete;
    NotificationBlocker& operator=(const NotificationBlocker&) = delete;

  private:
    Dialog& m_dialog;
};

}  // namespace veskator
