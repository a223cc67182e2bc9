#pragma once
// The status line every window shows: what the link does, how far its job has come, what the
// user should know, what is not written yet, and the last error.

#include <string>

#include "link/link_status.h"

namespace veskator {

std::string statusLineText(const LinkStatus& status);

}  // namespace veskator
