#pragma once
// The process-wide data every window and the link engine share: the parameter workspace (with the
// image in it), the working copies of the shared option bytes, and whether the image holds device
// data yet. One object, owned by the application.

#include "model/field_rules.h"
#include "model/parameter_workspace.h"

namespace veskator {

struct ProgrammerState {
    ParameterWorkspace workspace;
    OptionCopies optionCopies;
    // False until a full read has completed or a parameter file has been loaded: until then the
    // image holds no device data and no block of it may be written.
    bool imageHoldsDeviceData = false;
    // True from a completed full read until a parameter file is loaded: the workspace holds what
    // the device held (and the edits sent to it since), so a load keeps it as a snapshot first.
    bool imageReadFromDevice = false;
    // The options window's "reading loop status" switch: it outlives the window, so polling
    // resumes when the window opens again.
    bool loopPolling = false;
};

}  // namespace veskator
