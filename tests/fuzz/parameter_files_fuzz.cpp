// Parameter files and the comparison: any bytes as a file are read or refused (by their size, or
// taken whatever it is when any size is asked for); a workspace compared with itself shows
// nothing; between two, every byte that differs as the device would hold it is shown by a setting
// that differs or counted, and nothing is reported where nothing differs.

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/dialer_data.h"
#include "model/parameter_files.h"
#include "model/settings_compare.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/memory_files.h"
#include "tools/communicator_sim/sim_memory.h"

namespace veskator {
namespace {

using fuzz::MemoryFiles;
using fuzz::printable;
using Bytes = std::array<std::uint8_t, kWorkspaceSize>;

// The sizes a padded file is given: the two whole ones, one byte more or less, far more.
constexpr std::array<std::size_t, 6> kPaddedSizes{kImageSize,         kWorkspaceSize,
                                                  kImageSize + 1,     kWorkspaceSize - 1,
                                                  kWorkspaceSize + 1, 3 * kWorkspaceSize};

const Bytes& realisticWorkspace() {
    static const Bytes bytes = [] {
        const sim::SimMemory memory = sim::defaultMemory();
        Bytes w{};
        std::copy_n(memory.begin(), kReceiveAreaSize, w.begin());
        return w;
    }();
    return bytes;
}

const Setting& settingNamed(SettingsWindow window, const std::string& label) {
    static const auto byName = [] {
        std::map<std::pair<SettingsWindow, std::string>, const Setting*> map;
        for (const Setting& s : allSettings()) map[{s.window, s.label}] = &s;
        return map;
    }();
    const auto it = byName.find({window, label});
    FUZZ_CHECK(it != byName.end(), "a difference names no setting: " + label);
    return *it->second;
}

// The workspace as the device holds it once written: image bytes of 13 go as 12.
Bytes asSent(const Bytes& w) {
    Bytes sent = w;
    for (std::size_t i = 0; i < kImageSize; ++i) sent[i] = sentAs(sent[i]);
    return sent;
}

// The image, the dialer's data and the subscriber text: the parts a comparison looks at.
bool compared(std::size_t offset) {
    return offset < kImageSize ||
           (offset >= kDialerDataOffset && offset < kDialerDataOffset + kDialerDataSize) ||
           (offset >= kSubscriberOffset && offset < kSubscriberOffset + kSubscriberSize);
}

void readBack(MemoryFiles& files, const std::string& name, const std::vector<std::uint8_t>& content,
              FileSizeRule rule) {
    files.put(name, content);
    const ParameterFile file = readParameterFile(files, name, rule);
    const std::size_t size = content.size();
    const bool whole = size == kImageSize || size == kWorkspaceSize;
    const std::string what = name + " of " + std::to_string(size) + " bytes";
    FUZZ_CHECK(file.read() == (whole || rule == FileSizeRule::AnySize), what);
    FUZZ_CHECK(file.read() || file.status == ParameterFile::Status::WrongSize, what);
    FUZZ_CHECK(file.bytes == std::min(size, kWorkspaceSize + 1), what);
    const std::size_t kept = std::min(size, kWorkspaceSize);
    FUZZ_CHECK(std::equal(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(kept),
                          file.content.begin()),
               what);
    FUZZ_CHECK(std::all_of(file.content.begin() + static_cast<std::ptrdiff_t>(kept),
                           file.content.end(), [](std::uint8_t b) { return b == 0; }),
               what);
    const std::string problem = parameterFileProblem(name, file);
    FUZZ_CHECK(problem.empty() == file.read(), what + ": " + problem);
    FUZZ_CHECK(problem.empty() || problem.starts_with(name), what + ": " + problem);
}

// The file over the start of the workspace, the rest as it was.
Bytes withFile(const Bytes& base, const ParameterFile& file) {
    ParameterWorkspace workspace;
    std::copy(base.begin(), base.end(), workspace.bytes().begin());
    const Bytes expected = workspaceWith(workspace, file);
    applyParameterFile(workspace, file);
    const std::size_t kept = std::min(file.bytes, kWorkspaceSize);
    for (std::size_t i = 0; i < kWorkspaceSize; ++i) {
        const std::uint8_t want = i < kept ? file.content[i] : base[i];
        FUZZ_CHECK(workspace.bytes()[i] == want && expected[i] == want,
                   "byte " + std::to_string(i) + " of a file applied over " +
                       std::to_string(file.bytes) + " bytes");
    }
    return expected;
}

void checkComparison(const Bytes& before, const Bytes& after) {
    const SettingsComparison c = compareSettings(before, after);
    const Bytes a = asSent(before);
    const Bytes b = asSent(after);
    std::array<std::uint8_t, kWorkspaceSize> named{};
    for (const SettingDifference& d : c.settings) {
        const Setting& s = settingNamed(d.window, d.label);
        const std::string shownBefore = s.show(a);
        const std::string shownAfter = s.show(b);
        FUZZ_CHECK(shownBefore != shownAfter, d.label + " reported, shown alike");
        const SettingDifference expected = settingDifference(s, shownBefore, shownAfter);
        FUZZ_CHECK(d.before == expected.before && d.after == expected.after,
                   d.label + ": \"" + printable(d.before) + "\" -> \"" + printable(d.after) + "\"");
        if (s.secret) {
            FUZZ_CHECK(d.before.find_first_not_of('*') == std::string::npos,
                       d.label + " shows a password");
            FUZZ_CHECK(
                d.after.substr(0, d.after.find(' ')).find_first_not_of('*') == std::string::npos,
                d.label + " shows a password");
        }
        for (const auto& [offset, mask] : s.named) named[offset] |= mask;
    }
    // No setting that shows differently goes unreported.
    std::size_t differingSettings = 0;
    for (const Setting& s : allSettings()) differingSettings += s.show(a) != s.show(b) ? 1 : 0;
    FUZZ_CHECK(c.settings.size() == differingSettings,
               std::to_string(c.settings.size()) + " settings reported of " +
                   std::to_string(differingSettings) + " that differ");

    int differing = 0;
    int unshown = 0;
    for (std::size_t i = 0; i < kWorkspaceSize; ++i) {
        if (!compared(i) || a[i] == b[i]) continue;
        ++differing;
        if (((a[i] ^ b[i]) & ~named[i]) != 0) ++unshown;
    }
    const std::string counts = std::to_string(differing) + " bytes differ, " +
                               std::to_string(unshown) + " outside the settings reported, " +
                               std::to_string(c.otherBytes) + " counted, " +
                               std::to_string(c.settings.size()) + " settings";
    FUZZ_CHECK(c.same() == (differing == 0), counts);
    FUZZ_CHECK(c.otherBytes >= unshown && c.otherBytes <= differing, counts);

    // The other way round, the same settings and the same count.
    const SettingsComparison back = compareSettings(after, before);
    FUZZ_CHECK(back.otherBytes == c.otherBytes && back.settings.size() == c.settings.size(),
               counts);
    for (std::size_t i = 0; i < c.settings.size(); ++i) {
        FUZZ_CHECK(back.settings[i].label == c.settings[i].label, c.settings[i].label);
    }
    const std::string report = comparisonReport(c, "device", "file");
    FUZZ_CHECK(c.same() ? report == "device and file hold the same settings\r\n"
                        : report.starts_with(settingsDifferText(c) + " (device -> file)\r\n"),
               printable(report));
}

}  // namespace
}  // namespace veskator

// One flag byte (bit 0 and 1: the files are taken at any size; bits 2 to 4: file A padded to one
// of the sizes; bit 5: on zeros instead of a configured device), two bytes that split the rest
// into file A and file B, and from the back a count of three-byte changes (offset, bits to flip)
// made to B's workspace after the file, where no small file reaches.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veskator;
    fuzz::FuzzInput input(data, size);
    const int flags = input.front();
    const int split = input.front16();
    std::vector<std::pair<std::size_t, std::uint8_t>> flips;
    for (int n = input.back() % 32; n > 0; --n) {
        // One read a statement: the order of the reads is the input's layout.
        const std::size_t low = input.back();
        const std::size_t offset = low | static_cast<std::size_t>(input.back()) << 8;
        const std::uint8_t bits = input.back();
        flips.emplace_back(offset % kWorkspaceSize, bits);
    }
    const auto rest = input.frontBytes(size);
    const std::size_t cut = static_cast<std::size_t>(split) % (rest.size() + 1);
    std::vector<std::uint8_t> fileA(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(cut));
    const std::vector<std::uint8_t> fileB(rest.begin() + static_cast<std::ptrdiff_t>(cut),
                                          rest.end());
    if (const int padded = (flags >> 2) & 7; padded < static_cast<int>(kPaddedSizes.size())) {
        const std::size_t target = kPaddedSizes[static_cast<std::size_t>(padded)];
        const std::size_t original = fileA.size();
        fileA.resize(target);
        // A repeated pattern of the input, so that the whole sizes carry its bytes too.
        for (std::size_t i = original; original > 0 && i < target; ++i) {
            fileA[i] = fileA[i % original];
        }
    }
    const auto ruleOf = [&](int bit) {
        return (flags >> bit & 1) != 0 ? FileSizeRule::AnySize : FileSizeRule::ParameterFile;
    };
    fuzz::MemoryFiles files;
    readBack(files, "a.bin", fileA, ruleOf(0));
    readBack(files, "b.bin", fileB, ruleOf(1));
    const ParameterFile missing = readParameterFile(files, "missing.bin");
    FUZZ_CHECK(missing.status == ParameterFile::Status::NotFound &&
                   !parameterFileProblem("missing.bin", missing).empty(),
               "a missing file");

    // Compared as loaded at any size, so that every input reaches the comparison.
    const Bytes base = (flags & 0x20) != 0 ? Bytes{} : realisticWorkspace();
    const ParameterFile anyA = readParameterFile(files, "a.bin", FileSizeRule::AnySize);
    const ParameterFile anyB = readParameterFile(files, "b.bin", FileSizeRule::AnySize);
    const Bytes before = withFile(base, anyA);
    Bytes after = withFile(base, anyB);
    for (const auto& [offset, bits] : flips) after[offset] ^= bits;

    FUZZ_CHECK(compareSettings(before, before).same(), "A differs from itself");
    FUZZ_CHECK(compareSettings(after, after).same(), "B differs from itself");
    // An image byte of 13 and one of 12 are the same on the device.
    Bytes twelves = before;
    for (std::size_t i = 0; i < kImageSize; ++i) twelves[i] = sentAs(twelves[i]);
    FUZZ_CHECK(compareSettings(before, twelves).same(), "13 and 12 compared as different");
    checkComparison(before, after);
    return 0;
}
