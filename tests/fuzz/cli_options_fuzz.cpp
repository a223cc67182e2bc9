// veskator-cli's command line as the program takes it before any device is touched: the options
// are parsed and the run's material prepared (files, folders, settings, devices named twice). Any
// command line ends as options that hold together or as a usage error (status 2) whose one line
// holds no control character; no exception escapes.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "cli/preflight.h"
#include "cli/results.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/memory_files.h"

namespace veskator::cli {
namespace {

using fuzz::printable;

class StepClock final : public Clock {
  public:
    TimePoint now() const override { return m_now; }
    void advance() { m_now += std::chrono::milliseconds(100); }

  private:
    TimePoint m_now{};
};

// A name is looked up for some pauses, then found or not, as the name itself decides.
class NameLookup final : public HostLookup {
  public:
    NameLookup(std::string_view name, const StepClock& clock)
        : m_clock(clock),
          m_ready(clock.now() + std::chrono::milliseconds(100) * (name.size() % 80)),
          m_found(name.size() % 3 != 0),
          m_address{static_cast<std::uint32_t>(0x7f000000u + name.size() % 4)} {}
    LookupStatus status() override {
        if (m_clock.now() < m_ready) return LookupStatus::Pending;
        return m_found ? LookupStatus::Done : LookupStatus::Failed;
    }
    Ipv4Address address() override { return m_address; }

  private:
    const StepClock& m_clock;
    Clock::TimePoint m_ready;
    bool m_found;
    Ipv4Address m_address;
};

// Looks names up and never connects: the checks before a run touch no device.
class NoDevices final : public Network {
  public:
    explicit NoDevices(const StepClock& clock) : m_clock(clock) {}
    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override {
        if (auto direct = lookupWithoutResolver(hostName)) return direct;
        return std::make_unique<NameLookup>(hostName, m_clock);
    }
    std::unique_ptr<StreamSocket> connect(Ipv4Address /*address*/,
                                          std::uint16_t /*port*/) override {
        FUZZ_CHECK(false, "a device was connected to before the run");
        return nullptr;
    }

  private:
    const StepClock& m_clock;
};

bool hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7f;
    });
}

std::string argsText(const std::vector<std::string_view>& args) {
    std::string text;
    for (const std::string_view arg : args) text.append(" '").append(printable(arg)).append("'");
    return text;
}

// The line the program prints for a usage error, before it ends with status 2.
void usageError(const std::string& problem, const std::vector<std::string_view>& args) {
    FUZZ_CHECK(!problem.empty(), "an empty usage error for" + argsText(args));
    const std::string line =
        "veskator-cli: " + oneLine(problem) + " (veskator-cli --help says more)";
    FUZZ_CHECK(!hasControlCharacter(line), printable(line));
}

void checkOptions(const Options& o, const std::vector<std::string_view>& args) {
    const std::string shown = argsText(args);
    FUZZ_CHECK(o.parallel >= 1 && o.parallel <= kMaxParallel, shown);
    for (const Target& t : o.targets) {
        FUZZ_CHECK(!t.host.empty() && t.port != 0 && !hasControlCharacter(t.host), shown);
        const auto again = parseTarget(t.text(), 0);
        FUZZ_CHECK(again && again->host == t.host && again->port == t.port, shown);
    }
    const std::size_t targets = o.targets.size();
    const std::size_t files = o.files.size();
    switch (o.command) {
        case Command::Read:
            FUZZ_CHECK(targets >= 1 && files == 0 && !o.output.empty(), shown);
            FUZZ_CHECK(targets == 1 || o.output.find(kHostPlaceholder) != std::string::npos, shown);
            // Each device's file is its own where the name holds {host}.
            for (const Target& t : o.targets) {
                const bool named = outputPath(o, t).find(t.host + "_" + std::to_string(t.port)) !=
                                   std::string::npos;
                FUZZ_CHECK(named || o.output.find(kHostPlaceholder) == std::string::npos, shown);
            }
            break;
        case Command::Write:
        case Command::Compare:
            FUZZ_CHECK(targets >= 1 && files == 1, shown);
            break;
        case Command::Diff:
            FUZZ_CHECK(targets == 0 && files == 2, shown);
            break;
        case Command::Get:
            FUZZ_CHECK((targets >= 1 && files == 0) || (targets == 0 && files == 1), shown);
            for (const std::string& key : o.keys) {
                FUZZ_CHECK(std::holds_alternative<const Setting*>(findSetting(key)), shown);
            }
            break;
        case Command::Settings:
            FUZZ_CHECK(targets == 0 && files == 0, shown);
            break;
        case Command::Set:
            FUZZ_CHECK(!o.assignments.empty() || !o.from.empty(), shown);
            FUZZ_CHECK((files == 1 && targets == 0 && (!o.output.empty() || o.check)) ||
                           (files == 0 && targets >= 1 && o.output.empty()),
                       shown);
            for (const std::string& a : o.assignments) {
                FUZZ_CHECK(a.find('=') != std::string::npos, shown);
            }
            break;
        case Command::History:
            FUZZ_CHECK(targets == 0 && files == 0, shown);
            break;
    }
}

void checkPrepared(const Options& o, const Prepared& p, const std::vector<std::string_view>& args) {
    const std::string shown = argsText(args);
    FUZZ_CHECK(p.files.size() == o.files.size(), shown);
    for (const ParameterFile& f : p.files) FUZZ_CHECK(f.read(), shown);
    FUZZ_CHECK(o.command == Command::Set || p.assignments.empty(), shown);
    for (std::size_t i = 0; i < p.assignments.size(); ++i) {
        const Setting* s = p.assignments[i].setting;
        FUZZ_CHECK(s != nullptr && s->store, shown);
        FUZZ_CHECK(o.targets.empty() || s->inImage, shown);
        for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(p.assignments[j].setting != s, shown);
    }
    for (std::size_t i = 0; i < o.targets.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            FUZZ_CHECK(!sameDevice(o.targets[i], o.targets[j]), shown);
        }
    }
}

// As the program's main takes the command line, up to the run. Every way a command line can be
// wrong must come back as a problem (main prints it and ends with status 2): an exception would
// end the program with an abort instead.
void takeCommandLine(const std::vector<std::string_view>& args, std::uint16_t defaultPort,
                     fuzz::MemoryFiles& files) {
    for (const std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") return;
    }
    const auto isFile = [&files](std::string_view name) { return files.holds(name); };
    const auto parsed = parseCommandLine(args, defaultPort, isFile);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return usageError(*problem, args);
    const Options& options = std::get<Options>(parsed);
    checkOptions(options, args);
    StepClock clock;
    NoDevices network(clock);
    const auto prepared = prepare(options, files, network, clock, [&clock] { clock.advance(); });
    if (const auto* problem = std::get_if<std::string>(&prepared)) {
        return usageError(*problem, args);
    }
    checkPrepared(options, std::get<Prepared>(prepared), args);
}

}  // namespace
}  // namespace veskator::cli

// A byte for the port a device without one takes (its low bit: none), the content of s.json up to
// the first zero byte, then the arguments, each ended by a zero byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veskator;
    fuzz::FuzzInput input(data, size);
    const std::uint16_t defaultPort = (input.front() & 1) != 0 ? 4000 : 0;
    const auto rest = input.frontBytes(size);
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find('\0', at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    const std::string_view json = words.front();
    std::vector<std::string_view> args(words.begin() + 1, words.end());
    if (args.size() > 64) args.resize(64);

    fuzz::MemoryFiles files;
    const std::vector<std::uint8_t> workspace(kWorkspaceSize, 0);
    files.put("a.bin", workspace);
    files.put("b.bin", std::span(workspace).first(kImageSize));
    files.put("c.bin", std::span(workspace).first(7));
    files.put("s.json", std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
    files.unmakeable.insert("nofolder");
    try {
        cli::takeCommandLine(args, defaultPort, files);
    } catch (const std::exception& error) {
        FUZZ_CHECK(false, std::string("an exception escaped: ") + error.what());
    } catch (...) {
        FUZZ_CHECK(false, "an exception escaped");
    }
    return 0;
}
