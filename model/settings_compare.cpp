#include "model/settings_compare.h"

#include <array>
#include <functional>

#include "model/dialer_data.h"
#include "model/dialer_fields.h"
#include "model/main_fields.h"
#include "model/options_fields.h"

namespace veskator {
namespace {

// One setting as a window shows it, and the bits of the workspace it names.
struct Setting {
    SettingsWindow window;
    std::string label;
    std::function<std::string(ConstWorkspace)> show;
    std::vector<std::pair<std::size_t, std::uint8_t>> named;  // workspace offset, bits
    bool secret = false;
    // A text shows its slot's bytes up to its zero byte only, and at most this many characters:
    // what lies behind them is not shown. 0 for a setting that is no text.
    std::size_t textChars = 0;
};

// The bits a setting shows, given the two values it shows.
std::vector<std::pair<std::size_t, std::uint8_t>> shownBits(const Setting& s, const std::string& a,
                                                            const std::string& b) {
    if (s.textChars == 0) return s.named;
    // The characters of the longer text, and the zero byte that ends it where one is shown.
    const std::size_t longer = std::max(a.size(), b.size());
    const std::size_t count = std::min(s.named.size(), longer + (longer < s.textChars ? 1 : 0));
    return {s.named.begin(), s.named.begin() + static_cast<std::ptrdiff_t>(count)};
}

const ControlTemplate& control(const DialogTemplate& layout, ControlId id) {
    return *findControl(layout.controls, id);
}

std::string labelOf(const DialogTemplate& layout, ControlId id) {
    const ControlTemplate& c = control(layout, id);
    return std::string(c.accessibleName.empty() ? c.text : c.accessibleName);
}

std::vector<std::pair<std::size_t, std::uint8_t>> wholeBytes(std::size_t offset, std::size_t n) {
    std::vector<std::pair<std::size_t, std::uint8_t>> bytes;
    for (std::size_t i = 0; i < n; ++i) bytes.emplace_back(offset + i, std::uint8_t{0xff});
    return bytes;
}

std::uint8_t byteAt(ConstWorkspace w, ImagePlace place) {
    return w[static_cast<std::size_t>(imageOffset(place))];
}

ConstParameterImage imageOf(ConstWorkspace w) { return w.first<kImageSize>(); }

void addText(std::vector<Setting>& out, SettingsWindow window, const DialogTemplate& layout,
             const TextField& f) {
    const std::size_t size = static_cast<std::size_t>(f.slotSize > 0 ? f.slotSize : f.showChars);
    out.push_back({window, labelOf(layout, f.id),
                   [f](ConstWorkspace w) { return showText(imageOf(w), f); },
                   wholeBytes(static_cast<std::size_t>(imageOffset(f.place)), size),
                   control(layout, f.id).masked, static_cast<std::size_t>(f.showChars)});
}

void addOption(std::vector<Setting>& out, SettingsWindow window, const DialogTemplate& layout,
               const OptionBit& bit) {
    out.push_back({window,
                   labelOf(layout, bit.id),
                   [bit](ConstWorkspace w) {
                       return std::string(optionShownOn(bit, byteAt(w, bit.place)) ? "on" : "off");
                   },
                   {{static_cast<std::size_t>(imageOffset(bit.place)), bit.mask}}});
}

void addNumber(std::vector<Setting>& out, SettingsWindow window, std::string label,
               ImagePlace place, int factor = 1) {
    out.push_back(
        {window, std::move(label),
         [place, factor](ConstWorkspace w) { return std::to_string(factor * byteAt(w, place)); },
         wholeBytes(static_cast<std::size_t>(imageOffset(place)), 1)});
}

void addMainWindow(std::vector<Setting>& out) {
    const auto& layout = kMainDialogTemplate;
    for (const TextField& f : kMainTextFields) addText(out, SettingsWindow::Main, layout, f);
    out.push_back({SettingsWindow::Main, labelOf(layout, main_ids::kMacAddress),
                   [](ConstWorkspace w) {
                       std::string mac;
                       for (int i = 0; i < kMacBytes; ++i)
                           mac += hexByte(w[static_cast<std::size_t>(imageOffset(kMacPlace) + i)]);
                       return mac;
                   },
                   wholeBytes(static_cast<std::size_t>(imageOffset(kMacPlace)), kMacBytes)});
    for (const OptionBit& bit : kMainOptionBits) addOption(out, SettingsWindow::Main, layout, bit);
}

void addOptionsWindow(std::vector<Setting>& out) {
    const auto& layout = kOptionsDialogTemplate;
    const auto window = SettingsWindow::Options;
    for (const TextField& f : kOptionsTextFields) addText(out, window, layout, f);
    for (const OptionBit& bit : kOptionsOptionBits) addOption(out, window, layout, bit);
    for (const SliderRow& row : kSliders)
        addNumber(out, window, labelOf(layout, row.box), row.place);
    addNumber(out, window, labelOf(layout, options_ids::kTestRate), kTestRatePlace, 2);
    addNumber(out, window, labelOf(layout, options_ids::kModulationBox), kModulationPlace);
}

void addDialerWindow(std::vector<Setting>& out) {
    const auto& layout = kDialerDialogTemplate;
    const auto window = SettingsWindow::Dialer;
    for (const OptionBit& bit : kDialerOptionBits) addOption(out, window, layout, bit);
    out.push_back({window,
                   "RS232 OUTPUT FORMAT",
                   [&layout](ConstWorkspace w) {
                       return labelOf(layout, shownFormat(byteAt(w, kDecodedBit.place),
                                                          byteAt(w, kSurGardBit.place)));
                   },
                   {{static_cast<std::size_t>(imageOffset(kDecodedBit.place)), kDecodedBit.mask},
                    {static_cast<std::size_t>(imageOffset(kSurGardBit.place)), kSurGardBit.mask}}});
    addOption(out, window, layout, kHeartbeatBit);
    out.push_back(
        {window, "RS232 baud rate",
         [&layout](ConstWorkspace w) { return labelOf(layout, shownBaud(byteAt(w, kBaudPlace))); },
         wholeBytes(static_cast<std::size_t>(imageOffset(kBaudPlace)), 1)});
    for (const NumberRow& row : kDialerNumbers)
        addNumber(out, window, labelOf(layout, row.id), row.place);
    addText(out, window, layout, kStartupDelayField);
    // The lists, each slot read the way the window shows it.
    const auto listEntry = [&](std::string label, std::size_t offset, std::size_t size) {
        out.push_back({window, std::move(label),
                       [offset, size](ConstWorkspace w) {
                           return readText(w.subspan(offset, size), 0, static_cast<int>(size));
                       },
                       wholeBytes(offset, size), false, size});
    };
    for (int n = 0; n < kTelephoneLines; ++n) {
        listEntry("telephone line " + std::to_string(n),
                  kDialerDataOffset + kTelephoneListOffset +
                      static_cast<std::size_t>(n * kTelephoneLineSize),
                  kTelephoneLineSize);
    }
    for (int n = 0; n < kSchedulePositions; ++n) {
        listEntry("schedule time " + std::to_string(n),
                  kDialerDataOffset + static_cast<std::size_t>(n * kScheduleSlotSize),
                  static_cast<std::size_t>(scheduleSlotSize(n)));
    }
    listEntry(labelOf(layout, dialer_ids::kSubscriber), kSubscriberOffset, kSubscriberSize);
}

const std::vector<Setting>& settings() {
    static const std::vector<Setting> all = [] {
        std::vector<Setting> out;
        addMainWindow(out);
        addOptionsWindow(out);
        addDialerWindow(out);
        return out;
    }();
    return all;
}

// The workspace as the device holds it once it is written: image bytes of 13 go out as 12. The
// dialer's chunks and the spare area are sent as they stand.
std::array<std::uint8_t, kWorkspaceSize> asSent(ConstWorkspace workspace) {
    std::array<std::uint8_t, kWorkspaceSize> bytes{};
    std::copy(workspace.begin(), workspace.end(), bytes.begin());
    for (std::size_t i = 0; i < kImageSize; ++i) bytes[i] = sentAs(bytes[i]);
    return bytes;
}

std::string stars(const std::string& text) { return std::string(text.size(), '*'); }

}  // namespace

std::string_view windowName(SettingsWindow window) {
    switch (window) {
        case SettingsWindow::Main:
            return kMainCaption;
        case SettingsWindow::Options:
            return kOptionsCaption;
        case SettingsWindow::Dialer:
            return kDialerCaption;
    }
    return {};
}

// Every differing bit is either shown by a setting whose shown value differs, or its byte is
// counted: bytes behind a text's zero byte, bits no option names, a bit another one hides, codes
// shown alike and slot bytes no window shows all change the device without showing as a setting.
SettingsComparison compareSettings(ConstWorkspace beforeBytes, ConstWorkspace afterBytes) {
    const auto beforeSent = asSent(beforeBytes);
    const auto afterSent = asSent(afterBytes);
    const ConstWorkspace before(beforeSent);
    const ConstWorkspace after(afterSent);
    SettingsComparison result;
    std::array<std::uint8_t, kWorkspaceSize> shown{};
    for (const Setting& s : settings()) {
        std::string a = s.show(before);
        std::string b = s.show(after);
        if (a == b) continue;
        for (const auto& [offset, mask] : shownBits(s, a, b)) shown[offset] |= mask;
        // A changed password says so, and its length, never its characters.
        if (s.secret) {
            a = stars(a);
            b = stars(b);
            if (a == b) b += " (changed)";
        }
        result.settings.push_back({s.window, s.label, std::move(a), std::move(b)});
    }
    const auto countOther = [&](std::size_t from, std::size_t size) {
        for (std::size_t i = from; i < from + size; ++i) {
            if (((before[i] ^ after[i]) & ~shown[i]) != 0) ++result.otherBytes;
        }
    };
    countOther(0, kImageSize);
    countOther(kDialerDataOffset, kDialerDataSize);
    countOther(kSubscriberOffset, kSubscriberSize);
    return result;
}

std::string settingsDifferText(const SettingsComparison& comparison) {
    const std::size_t n = comparison.settings.size();
    return n == 1 ? std::string("1 setting differs") : std::to_string(n) + " settings differ";
}

std::string comparisonReport(const SettingsComparison& comparison, std::string_view beforeName,
                             std::string_view afterName) {
    if (comparison.same()) {
        return std::string(beforeName) + " and " + std::string(afterName) +
               " hold the same settings\r\n";
    }
    std::string report = settingsDifferText(comparison) + " (" + std::string(beforeName) + " -> " +
                         std::string(afterName) + ")\r\n";
    for (SettingsWindow window :
         {SettingsWindow::Main, SettingsWindow::Options, SettingsWindow::Dialer}) {
        bool heading = false;
        for (const SettingDifference& d : comparison.settings) {
            if (d.window != window) continue;
            if (!heading) report += "\r\n[" + std::string(windowName(window)) + "]\r\n";
            heading = true;
            report += d.label + ": \"" + d.before + "\" -> \"" + d.after + "\"\r\n";
        }
    }
    if (comparison.otherBytes > 0) {
        report += "\r\n" + std::to_string(comparison.otherBytes) +
                  " other bytes differ where no window names a setting\r\n";
    }
    return report;
}

}  // namespace veskator
