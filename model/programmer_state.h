#pragma once
// The device model every window, the link engine and the command line share: the parameter
// workspace (with the image in it), the working copies of the shared option bytes, and where the
// image came from. One object, owned by the application (or by one device of a command-line run).

#include <string>

#include "model/device_target.h"
#include "model/field_rules.h"
#include "model/parameter_workspace.h"

namespace veskator {

enum class ImageOrigin {
    None,        // zeros: nothing read or loaded yet
    DeviceRead,  // a completed full read of `device`
    LoadedFile,  // `file`, loaded and written to `device`
};

struct ImageSource {
    ImageOrigin origin = ImageOrigin::None;
    Target device;     // the device the image belongs to
    std::string file;  // LoadedFile: the parameter file's name as given
};

class ProgrammerState {
  public:
    ParameterWorkspace workspace;
    OptionCopies optionCopies() { return OptionCopies(workspace.image()); }

    const ImageSource& source() const { return m_source; }
    // Device data of some device: until then the image is zeros and no block of it may be written.
    bool holdsDeviceData() const { return m_source.origin != ImageOrigin::None; }
    // The image is `target`'s: blocks built from it may go to that device and no other.
    bool holdsDataOf(const Target& target) const {
        return holdsDeviceData() && sameDevice(m_source.device, target);
    }
    // The workspace holds what `target` held when it was last read (and the edits sent since), so
    // a load over it keeps it as a snapshot first.
    bool readFrom(const Target& target) const {
        return m_source.origin == ImageOrigin::DeviceRead && sameDevice(m_source.device, target);
    }

    void setReadFrom(Target device) { m_source = {ImageOrigin::DeviceRead, std::move(device), {}}; }
    void setLoaded(std::string file, Target device) {
        m_source = {ImageOrigin::LoadedFile, std::move(device), std::move(file)};
    }

  private:
    ImageSource m_source;
};

}  // namespace veskator
