#pragma once
// The words every window uses for what the link tells: its status line (what the link does, how
// far its job has come, how the last load ended, what the user should know, what is not written
// yet, the last error), a load's outcome, and why something was refused.

#include <string>
#include <string_view>
#include <vector>

#include "link/link_status.h"

namespace veskator {

inline constexpr std::string_view kTextReadFirst = "read the device first (Start/Go)";
inline constexpr std::string_view kTextTargetChanged =
    "the target changed: read the device first (Start/Go)";
inline constexpr std::string_view kTextLoadingCompleted = "loading completed";

std::string refusalText(Refusal refusal);
// "loading completed, 8 of 8 blocks verified", "loading stopped: ...", and the like.
std::string loadOutcomeText(const LoadOutcome& outcome);
// "A0 0x1f held 13 and was written as 12; the windows show what was written".
std::string rewritesText(const std::vector<ImagePlace>& places);
// How the last dialer upload ended, or what it should know while it runs; empty when nothing.
std::string dialerUploadText(const DialerProgress& upload);
// What became of the last pairing frame.
std::string pairingText(const PairingOutcome& outcome);
// `notice` is what the windows have to say (Session::notice).
std::string statusLineText(const LinkStatus& status, std::string_view notice = {});

}  // namespace veskator
