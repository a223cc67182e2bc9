#pragma once
// Opens top-level windows, and keeps the timers that belong to no window.

#include <chrono>
#include <functional>
#include <memory>

#include "platform/dialog_window.h"

namespace veskator {

// A timer of no window: its action runs once, from the event loop, at the time it was started
// for. Starting it again replaces that time; dropping it stops it.
class Alarm {
  public:
    virtual ~Alarm() = default;
    virtual void start(std::chrono::milliseconds after) = 0;
    virtual void stop() = 0;
};

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;
    // Builds the program's window from its template, shows it and runs the event loop until it
    // closes; its result. Every other window opens from it, as its child.
    virtual int run(DialogWindow& window) = 0;
    virtual std::unique_ptr<Alarm> makeAlarm(std::function<void()> action) = 0;
};

}  // namespace veskator
