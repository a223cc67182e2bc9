#pragma once
// Clicks on option bits, in every window: each handler is a step list of these operations (with
// the fixed waits of its row), run by the window core's one interpreter.

#include <span>

#include "ui/steps.h"

namespace veskator {

enum class BitOp {
    Pause,    // nothing but the step's wait
    Take,     // take all values
    Change,   // flip (set, clear) the bit in its working copy, or in the image byte without one
    ShowBit,  // the buttons that show the bit, from its new value
    Show,     // show all values
    Copy,     // the working copy into the image byte
    Write,    // write the byte's block
    Reset,    // restart the device once the link is idle
};
enum class Change { Flip, Set, Clear };

using BitStep = Step<BitOp>;
using BitSteps = std::span<const BitStep>;

}  // namespace veskator
