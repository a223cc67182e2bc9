#pragma once
// The platform services that window classes and the link engine are handed at start-up.

#include "platform/clock.h"
#include "platform/command_runner.h"
#include "platform/file_system.h"
#include "platform/network.h"
#include "platform/wall_clock.h"
#include "platform/window_system.h"

namespace veskator {

struct Services {
    Clock& clock;
    FileSystem& files;
    Network& network;
    CommandRunner& commands;
    WindowSystem& windows;
    WallClock& wallClock;
};

}  // namespace veskator
