#include "tools/communicator_sim/sim_memory.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string_view>

namespace veskator::sim {
namespace {

struct TextField {
    std::size_t offset;  // from the start of memory
    std::size_t slot;    // bytes reserved for the text and its terminating zero
    std::string_view text;
};

struct ByteField {
    std::size_t offset;
    std::uint8_t value;
};

// Texts end with a zero byte when shorter than their slot; the programming data slot and the
// Contact ID records are fixed-length and may be filled completely.
constexpr std::array kTextFields{
    // Block A0: receivers and accounts.
    TextField{blockOffset(0, 0x00), 31, "192.168.1.100"},
    TextField{blockOffset(0, 0x20), 16, "0001"},
    TextField{blockOffset(0, 0x30), 16, "01"},
    TextField{blockOffset(0, 0x40), 16, "1234"},
    TextField{blockOffset(0, 0x50), 16, "3062"},
    TextField{blockOffset(0, 0x60), 12, "3061"},
    // The second server address runs from A0 0x70 into A1 up to 0x0f.
    TextField{blockOffset(0, 0x70), 32, "backup.example.net"},
    // Block A1.
    TextField{blockOffset(1, 0x10), 16, "02"},
    TextField{blockOffset(1, 0x20), 15, "PROGDATA0123456"},
    TextField{blockOffset(1, 0x30), 8, "8000"},
    // Blocks A2..A6: e-mail, dynamic DNS and telephone numbers.
    TextField{blockOffset(2, 0x20), 32, "alarm@example.com"},
    TextField{blockOffset(2, 0x40), 32, "mail.example.com"},
    TextField{blockOffset(2, 0x60), 32, "communicator"},
    TextField{blockOffset(3, 0x00), 16, "mailpass"},
    TextField{blockOffset(3, 0x10), 16, "587"},
    TextField{blockOffset(3, 0x20), 16, "ALARM REPORT"},
    TextField{blockOffset(3, 0x30), 16, "0800"},
    TextField{blockOffset(3, 0x40), 8, "+0100"},
    TextField{blockOffset(3, 0x48), 8, "-0100"},
    TextField{blockOffset(4, 0x00), 32, "site42.ddns.example.net"},
    TextField{blockOffset(4, 0x20), 32, "ddnsuser"},
    TextField{blockOffset(4, 0x40), 32, "ddnspass"},
    TextField{blockOffset(4, 0x60), 32, "checkip.example.net"},
    TextField{blockOffset(5, 0x00), 32, "update.example.net"},
    TextField{blockOffset(5, 0x40), 16, "5550100"},
    TextField{blockOffset(5, 0x50), 16, "5550199"},
    TextField{blockOffset(6, 0x30), 80, "monitoring@example.com"},
    // Block A7: the Contact ID records of loop 1 and loop 2 (account, 18, event qualifier,
    // event code, partition, zone), 15 digits each and no terminator.
    TextField{blockOffset(7, 0x00), 15, "123418113001001"},
    TextField{blockOffset(7, 0x10), 15, "123418113101002"},
};

constexpr std::array kByteFields{
    ByteField{blockOffset(0, 0x1f), 0x23},  // BYE command, comment fields, programming data
    ByteField{blockOffset(0, 0x6c), 0x04},  // Contact ID format
    ByteField{blockOffset(0, 0x6d), 0x04},  // test every two hours
    ByteField{blockOffset(0, 0x6e), 0x09},  // dialer enabled, loop 1 normally closed
    ByteField{blockOffset(0, 0x6f), 0x90},  // loop 1 armed, test reports
    ByteField{blockOffset(1, 0x38), 0x80},  // DC09-2013
    ByteField{blockOffset(1, 0x3d), 0x90},  // alarm monitor, kiss-off without server ack, TCP
    ByteField{blockOffset(1, 0x3f), 0x06},  // time stamp and MAC address in messages
    // MAC address of the device.
    ByteField{blockOffset(1, 0x7a), 0x00},
    ByteField{blockOffset(1, 0x7b), 0x0A},
    ByteField{blockOffset(1, 0x7c), 0x1B},
    ByteField{blockOffset(1, 0x7d), 0x2C},
    ByteField{blockOffset(1, 0x7e), 0x3D},
    ByteField{blockOffset(1, 0x7f), 0x4E},
    // Alarm restore, entry pre-alarm, set-up delay, sound level, test rate (seconds / 2), siren
    // period, siren modulation.
    ByteField{blockOffset(7, 0x30), 10},
    ByteField{blockOffset(7, 0x31), 30},
    ByteField{blockOffset(7, 0x32), 45},
    ByteField{blockOffset(7, 0x33), 25},
    ByteField{blockOffset(7, 0x34), 150},
    ByteField{blockOffset(7, 0x35), 60},
    ByteField{blockOffset(7, 0x36), 120},
};

constexpr bool textFieldsFit() {
    for (const TextField& field : kTextFields) {
        if (field.text.size() > field.slot || field.offset + field.slot > 8 * kSimBlockSize) {
            return false;
        }
    }
    return true;
}

constexpr bool byteFieldsOutsideTexts() {
    for (const ByteField& byte : kByteFields) {
        for (const TextField& field : kTextFields) {
            if (byte.offset >= field.offset && byte.offset < field.offset + field.slot) {
                return false;
            }
        }
    }
    return true;
}

static_assert(textFieldsFit());
static_assert(byteFieldsOutsideTexts());

}  // namespace

SimMemory defaultMemory() {
    SimMemory memory{};
    for (const TextField& field : kTextFields) {
        std::copy_n(field.text.begin(), std::min(field.text.size(), field.slot),
                    memory.begin() + static_cast<std::ptrdiff_t>(field.offset));
    }
    for (const ByteField& byte : kByteFields) {
        memory[byte.offset] = byte.value;
    }
    return memory;
}

bool loadMemory(const std::string& path, SimMemory& memory) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    SimMemory loaded = memory;
    in.read(reinterpret_cast<char*>(loaded.data()), static_cast<std::streamsize>(loaded.size()));
    if (in.bad()) {
        return false;
    }
    memory = loaded;
    return true;
}

bool saveMemory(const std::string& path, const SimMemory& memory) {
    // Written beside the target and renamed over it, so a reader never sees half a file.
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out.write(reinterpret_cast<const char*>(memory.data()),
                  static_cast<std::streamsize>(memory.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace veskator::sim
