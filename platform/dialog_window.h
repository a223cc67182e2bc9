#pragma once
// What a window class offers the platform: its template and its handlers.

#include "platform/dialog.h"
#include "resources/dialog_template.h"

namespace veskator {

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
    virtual void onClicked(ControlId /*id*/) {}
    virtual void onSliderMoved(ControlId /*id*/) {}
    virtual void onTimer(TimerId /*id*/) {}
    // Entries of the window's system menu (the About entry).
    virtual void onSystemCommand(int /*command*/) {}
};

}  // namespace veskator
