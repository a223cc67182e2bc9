#include "link/parameter_load.h"

#include <algorithm>

#include "model/write_journal.h"

namespace veskator {

LoadStart startLoad(const LoadServices& services, const LoadRequest& request) {
    ProgrammerState& state = services.state;
    LinkEngine& link = services.link;
    const Target target = link.target();
    LoadStart start;
    start.file = readParameterFile(services.files, request.file, request.sizeRule);
    if (!start.file.read()) return start;
    // A file over zeros is the whole image; over another device's image it would mix the two and
    // leave no snapshot of this one.
    if (imageRefusal(state, target) == Refusal::TargetChanged) {
        start.status = LoadStart::Status::TargetChanged;
        return start;
    }
    // What the device held, as the last read brought it, is kept before the file replaces it:
    // loading the snapshot undoes the load. Without it the load does not go ahead.
    if (state.readFrom(target)) {
        start.snapshot =
            services.snapshots.save(state.workspace, services.wallClock.localNow(), target);
        if (!start.snapshot->saved) {
            start.status = LoadStart::Status::SnapshotFailed;
            return start;
        }
    }
    // The file replaces the image whole: a read still running would store device bytes over it,
    // and an earlier load's writes start again at A0.
    start.stoppedRead = link.status().busyWith(TransferKind::FullRead);
    link.stopFullRead();
    applyParameterFile(state.workspace, start.file);
    state.setLoaded(request.file, target);
    // The journal names the file by its digest: a file of the same name may differ later.
    const std::span<const std::uint8_t> loaded(start.file.content.data(),
                                               std::min(start.file.bytes, kWorkspaceSize));
    link.describeNextWrite({"load",
                            request.file,
                            sha256Hex(loaded),
                            start.snapshot ? start.snapshot->path : std::string(),
                            {}});
    link.requestWriteAll(request.readBack);
    start.status = LoadStart::Status::Started;
    return start;
}

}  // namespace veskator
