#pragma once
// What a command-line run needs, checked before any device is touched: the parameter files, the
// output folders, the settings to set, the devices' addresses, and devices named twice.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/cli_options.h"
#include "model/parameter_files.h"
#include "model/settings.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/network.h"

namespace veskator::cli {

struct Prepared {
    std::vector<ParameterFile> files;     // the options' files, read and checked, in order
    std::vector<Assignment> assignments;  // set: the named settings and their values
    // set --from a document of several devices: each device's own settings, by Target::text().
    std::map<std::string, std::vector<Assignment>> deviceAssignments;
    // Every target's host (trimmed) and the address it was found at.
    std::map<std::string, Ipv4Address> addresses;

    const std::vector<Assignment>& assignmentsFor(const Target& target) const;
};

// The run's material, or a usage error that names what is wrong. `pause` is called while host
// names are looked up (a short sleep); a name that cannot be looked up is a usage error too, found
// before any device is touched.
std::variant<Prepared, std::string> prepare(const Options& options, FileSystem& files,
                                            Network& network, const Clock& clock,
                                            const std::function<void()>& pause);

}  // namespace veskator::cli
