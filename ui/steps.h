#pragma once
// Handlers that differ only in the order of a few steps and in their fixed waits are written as
// step lists: rows of {what to do, how long to wait after it}, run by one runner. Option clicks,
// a window's opening steps and switch tables each have their own set of steps.

#include <chrono>
#include <span>

#include "platform/dialog.h"

namespace veskator {

template <typename Op>
struct Step {
    Op op;
    std::chrono::milliseconds wait{0};  // a fixed wait after the step, blocking the window
};

template <typename Op, typename Perform>
void runSteps(std::span<const Step<Op>> steps, Dialog& dialog, Perform&& perform) {
    for (const Step<Op>& step : steps) {
        perform(step.op);
        if (step.wait.count() > 0) dialog.wait(step.wait);
    }
}

}  // namespace veskator
