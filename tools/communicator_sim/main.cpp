// communicator-sim: a simulated communicator on 127.0.0.1 for trying out the programmer without
// a device. The first line of stdout names the port; every event is logged to stderr.
#include <pthread.h>
#include <signal.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "tools/communicator_sim/communicator_sim.h"

namespace {

using veskator::sim::CommunicatorSim;
using veskator::sim::FaultMode;
using veskator::sim::SimConfig;
using veskator::sim::SimEvent;

constexpr const char* kUsage =
    "usage: communicator-sim [options]\n"
    "  --port N              listen on 127.0.0.1:N (0, the default: any free port)\n"
    "  --devices N           N devices, each on a port of its own (N from --port on, or any\n"
    "                        free ones); a line \"listening 127.0.0.1 PORT\" for each\n"
    "  --memory FILE         load device memory from FILE if it exists; save it after each write\n"
    "  --loop1 HEX           loop 1 status byte of the live status (default 10)\n"
    "  --loop2 HEX           loop 2 status byte of the live status (default 00)\n"
    "  --refuse              close every connection at once\n"
    "  --no-greeting         accept connections but never greet\n"
    "  --greeting-delay MS   greet only after MS milliseconds\n"
    "  --split-replies       send the greeting and replies in several small pieces\n"
    "  --short-replies N     answer reads with only N bytes\n"
    "  --silence             greet, then never answer\n"
    "  --drop-after N        close a connection after N read replies\n"
    "  --extra-bytes N       append N extra bytes to every read reply\n"
    "  --endless-greeting    never greet; send 1 MiB of text without a carriage return instead\n"
    "  --greeting-crlf N     greet with N characters, then CR and LF as separate segments\n"
    "  --answer-late-once    hold the first answer to read unit 5 until it is asked again\n"
    "  --stall-sends         greet, then never read, so the programmer's sends pile up\n"
    "  --corrupt-on-write K  store every write of block K with one byte flipped\n"
    "  --corrupt-first-write K  the same, for the first write of block K only\n"
    "  --quiet               do not log events\n"
    "  --help                show this text\n";

bool parseNumber(std::string_view text, long& value, int base, long low, long high) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end && !text.empty() && value >= low && value <= high;
}

// The default greeting's text without its line end, repeated or cut to `length` characters.
std::string greetingOfLength(std::size_t length) {
    const std::string usual = SimConfig{}.greeting;
    const std::string words = usual.substr(0, usual.find('\r')) + " ";
    std::string text;
    while (text.size() < length) {
        text += words;
    }
    text.resize(length);
    return text;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "communicator-sim: %s\n%s", message.c_str(), kUsage);
    return 2;
}

}  // namespace

namespace {

// The fault modes that take no value, by their switch.
struct FaultSwitch {
    std::string_view option;
    FaultMode mode;
};
constexpr std::array<FaultSwitch, 7> kFaultSwitches{{
    {"--refuse", FaultMode::Refuse},
    {"--no-greeting", FaultMode::NoGreeting},
    {"--split-replies", FaultMode::SplitReplies},
    {"--silence", FaultMode::Silence},
    {"--endless-greeting", FaultMode::EndlessGreeting},
    {"--stall-sends", FaultMode::StallSends},
    {"--answer-late-once", FaultMode::AnswerLateOnce},
}};

const FaultSwitch* findFaultSwitch(std::string_view option) {
    for (const FaultSwitch& f : kFaultSwitches) {
        if (f.option == option) return &f;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    SimConfig config;
    std::string memoryPath;
    bool quiet = false;
    long devices = 1;

    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        const auto value = [&]() -> std::string_view {
            return i + 1 < argc ? std::string_view(argv[++i]) : std::string_view();
        };
        long number = 0;
        const auto numberArg = [&](int base, long low, long high) {
            const std::string_view text = value();
            return parseNumber(text, number, base, low, high);
        };
        if (const FaultSwitch* fault = findFaultSwitch(option)) {
            config.fault = fault->mode;
            continue;
        }
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (option == "--port") {
            if (!numberArg(10, 0, 65535)) {
                return usageError("--port needs a number from 0 to 65535");
            }
            config.port = static_cast<std::uint16_t>(number);
        } else if (option == "--devices") {
            if (!numberArg(10, 1, 1000)) {
                return usageError("--devices needs a number from 1 to 1000");
            }
            devices = number;
        } else if (option == "--memory") {
            memoryPath = value();
            if (memoryPath.empty()) {
                return usageError("--memory needs a file name");
            }
        } else if (option == "--loop1" || option == "--loop2") {
            if (!numberArg(16, 0, 255)) {
                return usageError(std::string(option) + " needs a hexadecimal byte");
            }
            (option == "--loop1" ? config.loop1 : config.loop2) = static_cast<std::uint8_t>(number);
        } else if (option == "--greeting-delay") {
            if (!numberArg(10, 0, 3600000)) {
                return usageError("--greeting-delay needs milliseconds");
            }
            config.fault = FaultMode::GreetingDelay;
            config.greetingDelay = std::chrono::milliseconds(number);
        } else if (option == "--short-replies") {
            if (!numberArg(10, 0, 64)) {
                return usageError("--short-replies needs a byte count from 0 to 64");
            }
            config.fault = FaultMode::ShortReplies;
            config.shortReplyBytes = static_cast<int>(number);
        } else if (option == "--drop-after") {
            if (!numberArg(10, 0, 1000000)) {
                return usageError("--drop-after needs a reply count");
            }
            config.fault = FaultMode::DropAfterReplies;
            config.dropAfterReplies = static_cast<int>(number);
        } else if (option == "--extra-bytes") {
            if (!numberArg(10, 0, 4096)) {
                return usageError("--extra-bytes needs a byte count from 0 to 4096");
            }
            config.fault = FaultMode::ExtraBytes;
            config.extraBytes = static_cast<int>(number);
        } else if (option == "--greeting-crlf") {
            if (!numberArg(10, 0, 4096)) {
                return usageError("--greeting-crlf needs a character count from 0 to 4096");
            }
            config.fault = FaultMode::GreetingCrLf;
            config.greeting = greetingOfLength(static_cast<std::size_t>(number)) + "\r\n";
        } else if (option == "--corrupt-on-write" || option == "--corrupt-first-write") {
            if (!numberArg(10, 0, 255)) {
                return usageError(std::string(option) + " needs a block number from 0 to 255");
            }
            config.fault = FaultMode::CorruptOnWrite;
            config.corruptBlock = static_cast<int>(number);
            config.corruptFirstWriteOnly = option == "--corrupt-first-write";
        } else if (option == "--quiet") {
            quiet = true;
        } else {
            return usageError("unknown option " + std::string(option));
        }
    }

    if (devices > 1 && !memoryPath.empty()) {
        return usageError("--memory is for one device, not --devices");
    }
    if (devices > 1 && config.port != 0 && config.port + devices - 1 > 65535) {
        return usageError("--devices from --port runs past port 65535");
    }
    if (!memoryPath.empty() && std::filesystem::exists(memoryPath) &&
        !veskator::sim::loadMemory(memoryPath, config.memory)) {
        std::fprintf(stderr, "communicator-sim: cannot read %s\n", memoryPath.c_str());
        return 1;
    }

    // The simulator's thread inherits this mask, so the signals reach sigwait() below only.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CommunicatorSim* sim = nullptr;
    std::mutex saveMutex;
    config.onEvent = [&](const SimEvent& event) {
        if (!quiet) {
            std::fprintf(stderr, "%s\n", veskator::sim::describeEvent(event).c_str());
        }
        const bool write =
            event.kind == SimEvent::Kind::BlockWrite || event.kind == SimEvent::Kind::ChunkWrite;
        if (write && !memoryPath.empty() && sim != nullptr) {
            std::lock_guard lock(saveMutex);
            if (!veskator::sim::saveMemory(memoryPath, sim->memory())) {
                std::fprintf(stderr, "communicator-sim: cannot save %s\n", memoryPath.c_str());
            }
        }
    };

    // A fleet in one process: each device keeps its own memory, faults and thread.
    std::vector<std::unique_ptr<CommunicatorSim>> simulators;
    for (long n = 0; n < devices; ++n) {
        SimConfig own = config;
        if (config.port != 0) own.port = static_cast<std::uint16_t>(config.port + n);
        simulators.push_back(std::make_unique<CommunicatorSim>(own));
        // Set before the thread starts, which then sees it.
        if (n == 0) sim = simulators.back().get();
        if (!simulators.back()->start()) {
            std::fprintf(stderr, "communicator-sim: cannot listen on 127.0.0.1 port %u: %s\n",
                         static_cast<unsigned>(own.port), std::strerror(errno));
            return 1;
        }
        std::printf("listening 127.0.0.1 %u\n", static_cast<unsigned>(simulators.back()->port()));
    }
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    for (auto& simulator : simulators) simulator->stop();
    if (!quiet) {
        std::fprintf(stderr, "communicator-sim: stopped by signal %d\n", received);
    }
    return 0;
}
