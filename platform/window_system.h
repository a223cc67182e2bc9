#pragma once
// Opens top-level windows.

#include "platform/dialog_window.h"

namespace veskator {

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;
    // Builds the window from its template and runs it modally until it closes.
    virtual int runModal(DialogWindow& window) = 0;
};

}  // namespace veskator
