#pragma once
// The words every window uses for what the link tells: its status line (what the link does, how
// far its job has come, how the last load ended, what the user should know, what is not written
// yet, the last error), a load's outcome, and why something was refused.

#include <string>
#include <string_view>
#include <vector>

#include "link/link_status.h"
#include "model/device_target.h"
#include "platform/wall_clock.h"

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
// `notice` is what the windows have to say (Session::notice). `lastJob` is the window's word for
// its last job; given, it says how a load ended in place of the link's own words for it.
std::string statusLineText(const LinkStatus& status, std::string_view notice = {},
                           std::string_view lastJob = {});

// The word a window keeps after each job until the next one, with the time it ended.
// "read 127.0.0.1:4000 at 15:40:12 (4096 bytes)".
std::string readDoneText(const Target& device, const LocalTime& at, std::size_t bytes);
// "loaded site.bin to 127.0.0.1:4000 at 15:42:00, 8 of 8 blocks verified"; a load that did not
// complete says how it ended instead.
std::string loadDoneText(std::string_view file, const Target& device, const LocalTime& at,
                         const LoadOutcome& outcome);
// "2 edits written to A0, A2 at 15:43:01", with the blocks the device did not take.
std::string editsDoneText(int edits, const std::bitset<kBlockCount>& written,
                          const std::bitset<kBlockCount>& notWritten, const LocalTime& at);
// "1 edit waiting": typed, and committed once its second is over.
std::string editsWaitingText(int edits);

}  // namespace veskator
