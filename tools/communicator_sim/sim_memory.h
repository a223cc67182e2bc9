// The simulated communicator's parameter memory: a realistic default content and raw file I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace veskator::sim {

// 256 blocks of 128 bytes: the parameter blocks A0..A7, the dialer blocks from 32 and the
// alarm-code chunks 64..140 all fit, and so does every block a suffix character can name.
inline constexpr std::size_t kSimMemorySize = 32768;
inline constexpr std::size_t kSimBlockSize = 128;
inline constexpr std::size_t kSimUnitSize = 64;
using SimMemory = std::array<std::uint8_t, kSimMemorySize>;

static_assert(kSimMemorySize / kSimBlockSize == 256);

// Offset of byte `offset` of parameter block Ak.
constexpr std::size_t blockOffset(std::size_t block, std::size_t offset) {
    return block * kSimBlockSize + offset;
}

// A freshly configured device: addresses, ports, accounts, e-mail and DDNS settings, alarm
// messages, timings, option bytes and a MAC address, all in their places in blocks A0..A7.
SimMemory defaultMemory();

// Reads a raw memory file into `memory` from its start; a shorter file leaves the rest of
// `memory` as it was, bytes beyond the memory size are ignored. False if the file cannot be read.
bool loadMemory(const std::string& path, SimMemory& memory);
// Writes all of `memory` as raw bytes, replacing the file. False on any failure.
bool saveMemory(const std::string& path, const SimMemory& memory);

}  // namespace veskator::sim
