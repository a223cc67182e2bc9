#pragma once
// What the link engine tells of the writes it makes, for a record kept elsewhere (the journal):
// each write before its first frame goes out, each block that reached the device, and how the
// write ended. The engine knows nothing of where or how it is kept; the observer may refuse a
// write, which then sends nothing.

#include <bitset>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_status.h"
#include "model/device_target.h"
#include "model/settings_compare.h"

namespace veskator {

// What a write carries, in words, as whoever asked for it knows: the file and its digest, the
// settings by name, the snapshot kept first. Told to the engine just before the request.
struct WriteSubject {
    std::string kind;  // "load", "set"; empty: named after the job
    std::string file;
    std::string sha256;
    std::string snapshot;
    std::vector<SettingDifference> settings;
};

struct WriteNews {
    int write = 0;  // the engine's number of the write, from 1
    JobKind kind = JobKind::None;
    Target device;
    std::bitset<kBlockCount> blocks;  // the image blocks it writes
    const WriteSubject* subject = nullptr;
};

struct WriteEnd {
    bool completed = false;
    std::optional<LoadOutcome> load;  // a write of blocks: how it ended
    std::string reason;               // not completed: why
};

class WriteObserver {
  public:
    virtual ~WriteObserver() = default;
    // Before the first frame of the write: empty lets it go; otherwise why it must not, and the
    // write ends without a frame.
    virtual std::string writeBegins(const WriteNews& news) = 0;
    // The frame of `block` ("A3", "chunk 64") went out whole.
    virtual void blockReached(const WriteNews& news, std::string_view block) = 0;
    virtual void writeEnded(const WriteNews& news, const WriteEnd& end) = 0;
    // A full read of the device completed.
    virtual void readCompleted(const Target& device) = 0;
};

}  // namespace veskator
