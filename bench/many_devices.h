#pragma once

#include <optional>

namespace veskator::bench {

struct ManyDevicesFigures {
    double seconds = 0;
    int succeeded = 0;
};

// Reads `devices` simulators on loopback through the command line's runner, `parallel` at once;
// nullopt when a simulator does not start.
std::optional<ManyDevicesFigures> readManyDevices(int devices, int parallel);

}  // namespace veskator::bench
