#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veskator::bench {

struct ManyDevicesFigures {
    double seconds = 0;
    int succeeded = 0;
};

// Runs the command line's runner over `devices` simulators on loopback, `parallel` at once: a
// read of each, or (with assignments) a set of those settings on each. nullopt when a simulator
// does not start.
std::optional<ManyDevicesFigures> runManyDevices(int devices, int parallel,
                                                 const std::vector<std::string>& assignments = {});

}  // namespace veskator::bench
