#include "options/lan_discovery.h"

#include <optional>
#include <utility>
#include <vector>

namespace veskator {

namespace {

// The three runs of the sweep; the address table is checked against them, entry by entry.
struct SweepRun {
    std::string_view subnet;
    int first, last;
};
constexpr std::array<SweepRun, 3> kSweepRuns{{
    {"192.168.1.", 2, 9},
    {"192.168.1.", 40, 49},
    {"192.168.0.", 100, 109},
}};

// A host number of one to three digits without a leading zero; -1 for anything else.
constexpr int hostNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return -1;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value <= 255 ? value : -1;
}

constexpr bool sweepFollowsItsRuns() {
    std::size_t i = 0;
    for (const SweepRun& run : kSweepRuns) {
        for (int host = run.first; host <= run.last; ++host, ++i) {
            if (i >= kSweepAddresses.size()) return false;
            const std::string_view address = kSweepAddresses[i];
            if (!address.starts_with(run.subnet) ||
                hostNumber(address.substr(run.subnet.size())) != host)
                return false;
        }
    }
    return i == kSweepAddresses.size();
}
static_assert(sweepFollowsItsRuns());

constexpr bool sweepAddressesDistinct() {
    for (std::size_t i = 0; i < kSweepAddresses.size(); ++i) {
        for (std::size_t j = i + 1; j < kSweepAddresses.size(); ++j) {
            if (kSweepAddresses[i] == kSweepAddresses[j]) return false;
        }
    }
    return true;
}
static_assert(sweepAddressesDistinct());
// The sweep output and the listing are two files, even where names ignore case.
static_assert(kSweepOutputFile != kListingFile);

// Each ping writes a file of its own, since they run side by side; they are joined in address
// order once all have ended.
std::string partPath(std::size_t index) {
    return std::string(kSweepOutputFile) + ".part" + std::to_string(index + 1);
}

std::vector<std::string> pingArguments(std::string_view address) {
    std::vector<std::string> argv{std::string(kPingProgram)};
    for (std::string_view option : kPingOptions) argv.emplace_back(option);
    argv.emplace_back(address);
    return argv;
}

}  // namespace

bool LanDiscovery::start(Finished finished) {
    if (running() || !finished) return false;
    m_finished = std::move(finished);
    m_triedIp = false;
    m_pingsRunning = kSweepAddresses.size();
    for (std::size_t i = 0; i < kSweepAddresses.size(); ++i) {
        // Whatever a ping's end (no answer, no such program), the sweep goes on.
        m_pings[i] =
            m_commands.start(Command{pingArguments(kSweepAddresses[i]), partPath(i), kPingBound},
                             [this](const CommandResult&) { pingEnded(); });
    }
    return true;
}

void LanDiscovery::cancel() {
    if (!running()) return;
    m_finished = nullptr;
    m_listing.reset();
    const bool sweeping = m_pingsRunning > 0;
    for (auto& ping : m_pings) ping.reset();
    m_pingsRunning = 0;
    if (sweeping) {
        for (std::size_t i = 0; i < kSweepAddresses.size(); ++i) m_files.removeFile(partPath(i));
    }
}

void LanDiscovery::pingEnded() {
    if (--m_pingsRunning > 0) return;
    for (auto& ping : m_pings) ping.reset();
    collectSweepOutput();
    startListing(kArpProgram, "-a");
}

void LanDiscovery::collectSweepOutput() {
    std::string sweep;
    for (std::size_t i = 0; i < kSweepAddresses.size(); ++i) {
        if (const auto output = readFileStart(m_files, partPath(i), kListingMax)) sweep += *output;
        m_files.removeFile(partPath(i));
    }
    writeWholeFile(m_files, kSweepOutputFile, sweep);
}

void LanDiscovery::startListing(std::string_view program, std::string_view argument) {
    // Emptied first, so that a listing that fails to come never shows the previous one as current.
    writeWholeFile(m_files, kListingFile, {});
    m_listing = m_commands.start(Command{{std::string(program), std::string(argument)},
                                         std::string(kListingFile),
                                         kListingBound},
                                 [this](const CommandResult& result) { listingEnded(result); });
}

void LanDiscovery::listingEnded(const CommandResult& result) {
    if (result.end == CommandEnd::FailedToStart && !m_triedIp) {
        m_triedIp = true;
        startListing(kIpProgram, "neigh");
        return;
    }
    finish();
}

void LanDiscovery::finish() {
    m_listing.reset();
    std::string listing = readFileStart(m_files, kListingFile, kListingMax).value_or(std::string());
    Finished finished = std::move(m_finished);
    m_finished = nullptr;
    // Last: the window may start the next search from here.
    finished(std::move(listing));
}

}  // namespace veskator
