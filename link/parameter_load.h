#pragma once
// Loading a parameter file into a device, one way for the window and the command line: the file
// is checked, the device's settings as last read from the same target are kept as a snapshot, the
// file goes into the workspace, and the write of all blocks (with its read-back) starts. Nothing
// is sent when any step before the write cannot be done.

#include <optional>
#include <string>

#include "link/link_engine.h"
#include "model/parameter_files.h"
#include "model/programmer_state.h"
#include "platform/file_system.h"
#include "platform/wall_clock.h"

namespace veskator {

struct LoadRequest {
    std::string file;
    ReadBack readBack = ReadBack::On;
    FileSizeRule sizeRule = FileSizeRule::ParameterFile;
};

struct LoadStart {
    enum class Status {
        Started,
        FileProblem,     // missing, or not a parameter file: parameterFileProblem says which
        TargetChanged,   // the image is another device's: that device must be read first
        SnapshotFailed,  // the device's settings could not be kept; nothing was sent
    };
    Status status = Status::FileProblem;
    ParameterFile file;
    std::optional<SnapshotOutcome> snapshot;  // taken when the image was read from the device
    bool stoppedRead = false;                 // a full read under way was given up for the file

    bool started() const { return status == Status::Started; }
};

// Where the load's pieces come from: the one device model and its link, the files, the run's
// snapshot keeper and the calendar.
struct LoadServices {
    ProgrammerState& state;
    LinkEngine& link;
    FileSystem& files;
    SnapshotKeeper& snapshots;
    const WallClock& wallClock;
};

// Loads into the device the link targets now.
LoadStart startLoad(const LoadServices& services, const LoadRequest& request);

}  // namespace veskator
