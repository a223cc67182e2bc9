#pragma once
// What a window class offers the platform: its template and its handlers.

#include <span>
#include <string_view>

#include "platform/dialog.h"
#include "resources/dialog_template.h"

namespace veskator {

// An entry of a window's right-click menu. Its text is also its accessible name.
struct ContextMenuEntry {
    int command = 0;
    std::string_view text;
    bool checkable = false;
};

class DialogWindow {
  public:
    virtual ~DialogWindow() = default;

    virtual const DialogTemplate& dialogTemplate() const = 0;

    // Called once the controls exist; the window keeps the dialog until onClosed.
    virtual void onInit(Dialog& dialog) = 0;
    virtual void onClosed() {}

    // The user asks to close the window (close box, Escape, Enter outside a one-line edit). False
    // keeps it open: the window closes itself later, or not at all.
    virtual bool onCloseRequested() { return true; }
    // Enter in a one-line edit: the edit's own action; it never closes the window.
    virtual void onEditEnter(ControlId /*id*/) {}

    virtual void onTextChanged(ControlId /*id*/) {}
    // A key or a paste the edit refused (a character outside what the edit takes); nothing
    // changed.
    virtual void onInputRefused(ControlId /*id*/) {}
    virtual void onClicked(ControlId /*id*/) {}
    virtual void onSliderMoved(ControlId /*id*/) {}
    // The user picked choice `index` of a drop-down's list or an edit's right-click menu.
    virtual void onChosen(ControlId /*id*/, int /*index*/) {}
    virtual void onTimer(TimerId /*id*/) {}
    // Entries of the window's system menu (the About entry).
    virtual void onSystemCommand(int /*command*/) {}

    // The window's right-click menu, asked for once when the window is built; none by default.
    // A checkable entry shows the mark contextEntryChecked gives each time the menu opens, and
    // choosing any entry raises onContextCommand: the handler decides what the mark is then.
    virtual std::span<const ContextMenuEntry> contextMenuEntries() const { return {}; }
    virtual bool contextEntryChecked(int /*command*/) const { return false; }
    virtual void onContextCommand(int /*command*/) {}
};

}  // namespace veskator
