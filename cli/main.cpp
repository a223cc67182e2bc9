// veskator-cli: reads, writes, compares and sets many communicators at once, without a window,
// through the same link engine and bounds as the programmer.

#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

#include "cli/device_run.h"
#include "cli/preflight.h"
#include "cli/results.h"
#include "model/main_fields.h"
#include "model/write_journal.h"
#include "platform/posix_network.h"

namespace {

using namespace veskator;
using namespace veskator::cli;

constexpr std::size_t kInventoryLimit = std::size_t{1} << 20;

// The signal that interrupted the run, 0 while none has.
std::atomic<int> g_interrupt{0};

// The first signal stops the run as soon as the devices allow; a second one ends it at once.
extern "C" void onSignal(int signal) {
    int none = 0;
    if (!g_interrupt.compare_exchange_strong(none, signal)) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

void catchSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM}) sigaction(signal, &action, nullptr);
    // A reader that went away (| head) shows as a failed write, which interrupts the run too.
    std::signal(SIGPIPE, SIG_IGN);
}

bool print(const std::string& text) {
    std::cout << text << std::flush;
    if (std::cout) return true;
    int none = 0;
    g_interrupt.compare_exchange_strong(none, SIGPIPE);
    return false;
}

void pauseBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// Devices done of all, and failures so far, on the terminal only: never on standard output.
class Progress {
  public:
    explicit Progress(std::size_t devices) : m_devices(devices), m_shown(::isatty(2) == 1) {}
    void update(const DeviceResult& result) {
        ++m_done;
        m_failed += result.ok || !result.started ? 0 : 1;
        if (!m_shown || m_devices < 2) return;
        std::fprintf(stderr, "\r%zu of %zu devices done, %zu failed", m_done, m_devices, m_failed);
        if (m_done == m_devices) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

  private:
    std::size_t m_devices;
    std::size_t m_done = 0;
    std::size_t m_failed = 0;
    bool m_shown;
};

// Under --json a script reads standard output alone, so the error is a document there too.
int usageError(const std::string& problem, bool json) {
    if (json) print(errorJson(problem, true));
    std::cerr << "veskator-cli: " << oneLine(problem) << " (veskator-cli --help says more)\n";
    return 2;
}

bool asksForJson(const std::vector<std::string_view>& args) {
    for (const std::string_view arg : args) {
        if (arg == "--") return false;
        if (arg == "--json") return true;
    }
    return false;
}

// The devices' lines in the order they were given, each as soon as those before it are done.
class OrderedLines {
  public:
    explicit OrderedLines(std::size_t devices) : m_lines(devices) {}
    void add(std::size_t index, std::string line) {
        m_lines[index] = std::move(line);
        for (; m_next < m_lines.size() && m_lines[m_next]; ++m_next) {
            print(*m_lines[m_next]);
            m_lines[m_next].reset();
        }
    }

  private:
    std::vector<std::optional<std::string>> m_lines;
    std::size_t m_next = 0;
};

int diff(const Options& options, const Prepared& prepared) {
    ParameterWorkspace base;
    applyParameterFile(base, prepared.files[0]);
    const SettingsComparison comparison =
        compareSettings(base.bytes(), workspaceWith(base, prepared.files[1]));
    print(options.json ? diffJson(comparison)
                       : comparisonReport(comparison, options.files[0], options.files[1]));
    return 0;
}

// get and set of a parameter file: no device is touched.
int onFile(const Options& options, const Prepared& prepared, FileSystem& files) {
    ParameterWorkspace workspace;
    applyParameterFile(workspace, prepared.files.front());
    const auto before = settingsOf(workspace.bytes(), options.keys, false);
    std::vector<SettingChange> changes;
    if (options.command == Command::Set) {
        for (const Assignment& a : prepared.assignments) {
            const std::string was = a.setting->show(workspace.bytes());
            a.setting->store(workspace.bytes(), a.value);
            changes.push_back({a.setting, was, a.setting->show(workspace.bytes())});
        }
        if (!options.check && !saveParameterFile(files, workspace, options.output)) {
            const std::string problem = options.output + " cannot be written";
            if (options.json) print(errorJson(problem, false));
            std::cerr << "veskator-cli: " << problem << "\n";
            return 1;
        }
    }
    const std::string& name = options.files.front();
    if (options.json) {
        print(settingsJson(options.command, name, before, changes, options.showPasswords));
    } else if (options.command == Command::Get) {
        print(settingsText(before, options.showPasswords));
    } else {
        const auto changed = static_cast<std::size_t>(std::count_if(
            changes.begin(), changes.end(), [](const auto& c) { return c.changes(); }));
        const std::string what = std::to_string(changed) +
                                 (changed == 1 ? " setting " : " settings ") +
                                 (options.check ? "would change\n" : "changed\n");
        print((options.check ? name : options.output) + ": " + what +
              changesText(changes, options.showPasswords));
    }
    return 0;
}

// The journal of writes, newest first; it touches no device.
int history(const Options& options, FileSystem& files) {
    SystemWallClock wallClock;
    const WriteJournal journal(files, wallClock, thisAuthor());
    const JournalContent content = journal.read();
    const std::vector<JournalJob> jobs = historyOf(content, {options.devices, options.since});
    if (options.json) {
        print(historyJson(jobs, content.notes));
        return 0;
    }
    for (const std::string& note : content.notes) std::cerr << "veskator-cli: " << note << "\n";
    print(historyText(jobs, "\n"));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const bool json = asksForJson(args);
    for (std::string_view arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
    }
    catchSignals();
    PosixFileSystem files;
    const auto portText = readFileStart(files, kClientPortFile, 64);
    const std::uint16_t defaultPort = portText ? parsePort(*portText) : 0;
    const auto isFile = [&files](std::string_view name) {
        return files.open(name, FileOpen::ReadExisting) != nullptr;
    };
    const auto readText = [&files](std::string_view name) {
        return readFileStart(files, name, kInventoryLimit);
    };
    const auto parsed = parseCommandLine(args, defaultPort, isFile, readText);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return usageError(*problem, json);
    const Options& options = std::get<Options>(parsed);
    if (options.command == Command::Settings) {
        print(options.json ? settingsListJson() : settingsListText());
        return 0;
    }

    if (options.command == Command::History) return history(options, files);

    PosixNetwork network;
    SteadyClock clock;
    const auto prepared = prepare(options, files, network, clock, pauseBriefly);
    if (const auto* problem = std::get_if<std::string>(&prepared)) {
        return usageError(*problem, options.json);
    }
    const Prepared& ready = std::get<Prepared>(prepared);
    if (options.command == Command::Diff) return diff(options, ready);
    if (options.targets.empty()) return onFile(options, ready, files);

    SystemWallClock wallClock;
    Progress progress(options.targets.size());
    OrderedLines lines(options.targets.size());
    RunReports reports;
    reports.pause = pauseBriefly;
    reports.interrupted = [] { return g_interrupt.load() != 0; };
    reports.warning = [](const std::string& text) {
        std::cerr << "veskator-cli: " << oneLine(text) << "\n";
    };
    reports.finished = [&](const DeviceResult& result) {
        progress.update(result);
        if (!options.json) lines.add(result.index, resultLine(result, options.showPasswords));
    };
    const auto results = runDevices(options, ready, network, files, clock, wallClock, reports);
    const int signal = g_interrupt.load();
    if (options.json) {
        print(resultsJson(options.command, results, signal != 0, options.showPasswords));
    }
    return signal != 0 ? 128 + signal : exitStatus(results);
}
