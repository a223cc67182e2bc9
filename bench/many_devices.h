#pragma once
// The command line's figures for a fleet: veskator-cli run as a shell runs it against many
// simulated devices of one communicator-sim process on loopback.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veskator::bench {

struct ManyDevicesFigures {
    double seconds = 0;  // wall time of the whole veskator-cli run, its start included
    int succeeded = 0;
    long peakKilobytes = 0;  // the run's largest resident set (getrusage ru_maxrss)
};

// `devices` simulated devices in one communicator-sim process, stopped when this ends.
class SimulatedFleet {
  public:
    explicit SimulatedFleet(int devices);
    ~SimulatedFleet();
    SimulatedFleet(const SimulatedFleet&) = delete;
    SimulatedFleet& operator=(const SimulatedFleet&) = delete;
    // "127.0.0.1:PORT" of each device; empty when the simulator did not start.
    const std::vector<std::string>& targets() const { return m_targets; }

  private:
    pid_t m_pid = -1;
    std::vector<std::string> m_targets;
};

// veskator-cli --json -j PARALLEL with `args` and the fleet's devices, in a scratch folder;
// nullopt when it could not be run.
std::optional<ManyDevicesFigures> runOnFleet(const SimulatedFleet& fleet, int parallel,
                                             const std::vector<std::string>& args);

}  // namespace veskator::bench
