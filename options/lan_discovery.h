#pragma once
// Finds the communicators on the local network for a technician who does not know their
// address: one echo request to each address where they are usually put, so that every device
// that answers gets an entry in the system's ARP table, then that table as the system prints
// it. The programs run in the background, the pings side by side, so the window stays live.

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/command_runner.h"
#include "platform/file_system.h"

namespace veskator {

// 192.168.1.2 to .9, 192.168.1.40 to .49 and 192.168.0.100 to .109, in the order they are asked.
inline constexpr std::array<std::string_view, 28> kSweepAddresses{{
    "192.168.1.2",   "192.168.1.3",   "192.168.1.4",   "192.168.1.5",   "192.168.1.6",
    "192.168.1.7",   "192.168.1.8",   "192.168.1.9",   "192.168.1.40",  "192.168.1.41",
    "192.168.1.42",  "192.168.1.43",  "192.168.1.44",  "192.168.1.45",  "192.168.1.46",
    "192.168.1.47",  "192.168.1.48",  "192.168.1.49",  "192.168.0.100", "192.168.0.101",
    "192.168.0.102", "192.168.0.103", "192.168.0.104", "192.168.0.105", "192.168.0.106",
    "192.168.0.107", "192.168.0.108", "192.168.0.109",
}};

// The pings' output, in address order; never read back, kept for whoever wants to look.
inline constexpr std::string_view kSweepOutputFile = "K1";
// The ARP listing that the window shows.
inline constexpr std::string_view kListingFile = "k1";
inline constexpr std::size_t kListingMax = 64 * 1024;

// Absolute paths: /usr/sbin is not on an ordinary user's PATH.
inline constexpr std::string_view kPingProgram = "/bin/ping";
inline constexpr std::string_view kArpProgram = "/usr/sbin/arp";
// Where net-tools is missing, iproute2 prints the same table in its own format.
inline constexpr std::string_view kIpProgram = "/bin/ip";
// One echo request, numeric output, and the shortest answer wait: iputils takes fractions of a
// second, so a silent address costs 10 ms, not a whole second.
inline constexpr std::array<std::string_view, 5> kPingOptions{{"-n", "-c", "1", "-W", "0.01"}};
inline constexpr std::chrono::milliseconds kPingBound{5000};
// arp looks every entry's name up, which can be slow on a network without a name server.
inline constexpr std::chrono::milliseconds kListingBound{20000};

class LanDiscovery {
  public:
    using Finished = std::function<void(std::string listing)>;

    // Both outlive the discovery.
    LanDiscovery(CommandRunner& commands, FileSystem& files)
        : m_commands(commands), m_files(files) {}
    ~LanDiscovery() { cancel(); }
    LanDiscovery(const LanDiscovery&) = delete;
    LanDiscovery& operator=(const LanDiscovery&) = delete;

    // Starts a search unless one is running (false). `finished` comes once, later, never inside
    // this call, with the start of the listing file (empty when there is none).
    bool start(Finished finished);
    bool running() const { return static_cast<bool>(m_finished); }
    // Ends the programs still running and drops the search: `finished` never comes.
    void cancel();

  private:
    void pingEnded();
    void collectSweepOutput();
    void startListing(std::string_view program, std::string_view argument);
    void listingEnded(const CommandResult& result);
    void finish();

    CommandRunner& m_commands;
    FileSystem& m_files;
    Finished m_finished;
    std::array<std::unique_ptr<RunningCommand>, kSweepAddresses.size()> m_pings;
    std::size_t m_pingsRunning = 0;
    std::unique_ptr<RunningCommand> m_listing;
    bool m_triedIp = false;
};

}  // namespace veskator
