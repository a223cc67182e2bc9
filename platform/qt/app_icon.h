#pragma once
// Window icons, drawn in code so that no image file has to travel with the program.

#include <QIcon>

namespace veskator {

// The icon of an icon resource (the application icon is resource 128), in the large (32 px) and
// small (16 px) sizes a window uses.
QIcon iconForResource(int iconResource);

}  // namespace veskator
