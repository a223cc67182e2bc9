#pragma once
// Fills the main window's values from the image after a complete full read (or a loaded
// parameter file), and reloads the working copies of the option bytes. It is not a user change:
// no commit and no exchange follow from it.

#include "model/programmer_state.h"
#include "platform/control_values.h"

namespace veskator {

void refreshMainValues(ProgrammerState& state, ControlValues& values);
// The option buttons and the working copies alone, leaving the texts (which may hold edits not
// yet committed) as they are.
void refreshMainOptions(ProgrammerState& state, ControlValues& values);

}  // namespace veskator
