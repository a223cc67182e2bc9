#include "model/settings.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "model/dialer_data.h"
#include "model/dialer_fields.h"
#include "model/main_fields.h"
#include "model/options_fields.h"
#include "resources/compare_dialog_template.h"

namespace veskator {
namespace {

using Stored = std::optional<std::string>;

const ControlTemplate& control(const DialogTemplate& layout, ControlId id) {
    return *findControl(layout.controls, id);
}

std::string labelOf(const DialogTemplate& layout, ControlId id) {
    const ControlTemplate& c = control(layout, id);
    return std::string(c.accessibleName.empty() ? c.text : c.accessibleName);
}

// A label the window shows on more than one control is named by the frame around each
// ("ARM (LOOP1)").
std::string settingLabel(const DialogTemplate& layout, ControlId id) {
    const std::string label = labelOf(layout, id);
    const bool twin =
        std::any_of(layout.controls.begin(), layout.controls.end(), [&](const ControlTemplate& c) {
            return c.id != id && c.id != kStaticId && labelOf(layout, c.id) == label;
        });
    if (!twin) return label;
    const ControlTemplate& c = control(layout, id);
    for (const ControlTemplate& frame : layout.controls) {
        const bool inside = frame.kind == ControlKind::GroupFrame && c.x >= frame.x &&
                            c.y >= frame.y && c.x + c.width <= frame.x + frame.width &&
                            c.y + c.height <= frame.y + frame.height;
        if (inside) return label + " (" + std::string(frame.text) + ")";
    }
    return label;
}

NamedBits wholeBytes(std::size_t offset, std::size_t n) {
    NamedBits bytes;
    for (std::size_t i = 0; i < n; ++i) bytes.emplace_back(offset + i, std::uint8_t{0xff});
    return bytes;
}

std::size_t offsetOf(ImagePlace place) { return static_cast<std::size_t>(imageOffset(place)); }
std::uint8_t byteAt(ConstWorkspace w, ImagePlace place) { return w[offsetOf(place)]; }
ConstParameterImage imageOf(ConstWorkspace w) { return w.first<kImageSize>(); }

// A number as a technician types it: decimal digits only.
std::optional<int> number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> onOff(std::string_view text) {
    if (text == "on") return true;
    if (text == "off") return false;
    return std::nullopt;
}

// What a text slot takes: its characters, never a zero byte.
Stored storeSlot(std::span<std::uint8_t> slot, SlotRule rule, std::string_view value) {
    const std::size_t most = rule == SlotRule::Terminated ? slot.size() - 1 : slot.size();
    if (value.size() > most) return "takes at most " + std::to_string(most) + " characters";
    if (value.find('\0') != std::string_view::npos) return "takes no zero byte";
    storeInSlot(slot, rule, value);
    return std::nullopt;
}

void addText(std::vector<Setting>& out, SettingsWindow window, const DialogTemplate& layout,
             const TextField& f) {
    const std::size_t size = static_cast<std::size_t>(f.slotSize > 0 ? f.slotSize : f.showChars);
    Setting s{window,
              settingLabel(layout, f.id),
              [f](ConstWorkspace w) { return showText(imageOf(w), f); },
              {},
              wholeBytes(offsetOf(f.place), size),
              control(layout, f.id).masked,
              static_cast<std::size_t>(f.showChars)};
    if (f.slotSize > 0) {
        s.store = [f](Workspace w, std::string_view value) -> Stored {
            if (Stored refused = kindRefusal(f.kind, value)) return refused;
            return storeSlot(w.subspan(offsetOf(f.place), static_cast<std::size_t>(f.slotSize)),
                             f.rule, value);
        };
    }
    out.push_back(std::move(s));
}

// An option on or off; one of the main window's either-or pair clears its partner; `clearOnly` an
// alarm latch, which a click only ever clears.
void addOption(std::vector<Setting>& out, SettingsWindow window, const DialogTemplate& layout,
               const OptionBit& bit, bool eitherOr = false, bool clearOnly = false) {
    out.push_back({window,
                   settingLabel(layout, bit.id),
                   [bit](ConstWorkspace w) {
                       return std::string(optionShownOn(bit, byteAt(w, bit.place)) ? "on" : "off");
                   },
                   [bit, eitherOr, clearOnly](Workspace w, std::string_view value) -> Stored {
                       const std::optional<bool> on = onOff(value);
                       if (!on) return "takes on or off";
                       if (clearOnly && *on) return "can only be cleared (off)";
                       if (eitherOr) {
                           storeEitherOr(w.first<kImageSize>(), bit.id, *on);
                       } else {
                           storeOption(w.first<kImageSize>(), bit, *on);
                       }
                       return std::nullopt;
                   },
                   {{offsetOf(bit.place), bit.mask}}});
}

void addNumber(std::vector<Setting>& out, SettingsWindow window, std::string label,
               ImagePlace place, int high, int factor = 1) {
    out.push_back(
        {window, std::move(label),
         [place, factor](ConstWorkspace w) { return std::to_string(factor * byteAt(w, place)); },
         [place, high, factor](Workspace w, std::string_view value) -> Stored {
             const std::optional<int> n = number(value);
             const std::string range = "0 to " + std::to_string(high * factor);
             if (!n || *n > high * factor) return "takes a number from " + range;
             if (*n % factor != 0) return "takes an even number from " + range;
             w[offsetOf(place)] = static_cast<std::uint8_t>(*n / factor);
             return std::nullopt;
         },
         wholeBytes(offsetOf(place), 1)});
}

// A choice of one of several labels (the RS232 output format, the baud rate).
template <typename Rows, typename Store>
void addChoice(std::vector<Setting>& out, SettingsWindow window, std::string label,
               std::function<std::string(ConstWorkspace)> show, const Rows& rows, Store store,
               NamedBits named) {
    const auto& layout = kDialerDialogTemplate;
    std::string choices;
    for (const auto& row : rows) choices += (choices.empty() ? "" : ", ") + labelOf(layout, row.id);
    out.push_back({window, std::move(label), std::move(show),
                   [rows, store, choices](Workspace w, std::string_view value) -> Stored {
                       for (const auto& row : rows) {
                           if (labelOf(kDialerDialogTemplate, row.id) != value) continue;
                           store(w, row);
                           return std::nullopt;
                       }
                       return "takes one of: " + choices;
                   },
                   std::move(named)});
}

void addMainWindow(std::vector<Setting>& out) {
    const auto& layout = kMainDialogTemplate;
    const auto window = SettingsWindow::Main;
    for (const TextField& f : kMainTextFields) addText(out, window, layout, f);
    out.push_back({window,
                   labelOf(layout, main_ids::kMacAddress),
                   [](ConstWorkspace w) { return macAddressText(imageOf(w)); },
                   {},
                   wholeBytes(offsetOf(kMacPlace), kMacBytes)});
    for (const OptionBit& bit : kMainOptionBits) {
        addOption(out, window, layout, bit, eitherOrPartner(bit.id) != 0);
    }
}

void addOptionsWindow(std::vector<Setting>& out) {
    const auto& layout = kOptionsDialogTemplate;
    const auto window = SettingsWindow::Options;
    for (const TextField& f : kOptionsTextFields) addText(out, window, layout, f);
    for (const OptionBit& bit : kOptionsOptionBits) {
        const bool latch =
            bit.id == options_ids::kAlarmLatched1 || bit.id == options_ids::kAlarmLatched2;
        addOption(out, window, layout, bit, false, latch);
    }
    for (const SliderRow& row : kSliders)
        addNumber(out, window, labelOf(layout, row.box), row.place, row.high);
    addNumber(out, window, labelOf(layout, options_ids::kTestRate), kTestRatePlace, kByteMax,
              kTestRateStep);
    addNumber(out, window, labelOf(layout, options_ids::kModulationBox), kModulationPlace,
              kByteMax);
}

void addDialerWindow(std::vector<Setting>& out) {
    const auto& layout = kDialerDialogTemplate;
    const auto window = SettingsWindow::Dialer;
    for (const OptionBit& bit : kDialerOptionBits) addOption(out, window, layout, bit);
    addChoice(
        out, window, "RS232 OUTPUT FORMAT",
        [](ConstWorkspace w) {
            return labelOf(kDialerDialogTemplate,
                           shownFormat(byteAt(w, kDecodedBit.place), byteAt(w, kSurGardBit.place)));
        },
        kFormats,
        [](Workspace w, const FormatRow& row) { storeFormat(w.first<kImageSize>(), row); },
        {{offsetOf(kDecodedBit.place), kDecodedBit.mask},
         {offsetOf(kSurGardBit.place), kSurGardBit.mask}});
    addOption(out, window, layout, kHeartbeatBit);
    addChoice(
        out, window, "RS232 baud rate",
        [](ConstWorkspace w) {
            return labelOf(kDialerDialogTemplate, shownBaud(byteAt(w, kBaudPlace)));
        },
        kBaudRates, [](Workspace w, const BaudRow& row) { w[offsetOf(kBaudPlace)] = row.code; },
        wholeBytes(offsetOf(kBaudPlace), 1));
    for (const NumberRow& row : kDialerNumbers)
        addNumber(out, window, labelOf(layout, row.id), row.place, kByteMax);
    addText(out, window, layout, kStartupDelayField);
    // The lists, each slot read and stored the way the window does.
    const auto listEntry = [&](std::string label, std::size_t offset, std::size_t size,
                               SlotRule rule) {
        out.push_back({window, std::move(label),
                       [offset, size](ConstWorkspace w) {
                           return readText(w.subspan(offset, size), 0, static_cast<int>(size));
                       },
                       [offset, size, rule](Workspace w, std::string_view value) {
                           return storeSlot(w.subspan(offset, size), rule, value);
                       },
                       wholeBytes(offset, size), false, size, false});
    };
    for (int n = 0; n < kTelephoneLines; ++n) {
        listEntry("telephone line " + std::to_string(n),
                  kDialerDataOffset + kTelephoneListOffset +
                      static_cast<std::size_t>(n * kTelephoneLineSize),
                  kTelephoneLineSize, SlotRule::Exact);
    }
    for (int n = 0; n < kSchedulePositions; ++n) {
        listEntry("schedule time " + std::to_string(n),
                  kDialerDataOffset + static_cast<std::size_t>(n * kScheduleSlotSize),
                  static_cast<std::size_t>(scheduleSlotSize(n)), SlotRule::ZeroPadded);
    }
    listEntry(labelOf(layout, dialer_ids::kSubscriber), kSubscriberOffset, kSubscriberSize,
              SlotRule::Terminated);
}

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

std::string_view windowKey(SettingsWindow window) {
    switch (window) {
        case SettingsWindow::Main:
            return "main";
        case SettingsWindow::Options:
            return "options";
        case SettingsWindow::Dialer:
            return "dialer";
    }
    return {};
}

std::string Setting::qualifiedName() const { return std::string(windowKey(window)) + "/" + label; }

const std::vector<Setting>& allSettings() {
    static const std::vector<Setting> all = [] {
        std::vector<Setting> out;
        addMainWindow(out);
        addOptionsWindow(out);
        addDialerWindow(out);
        return out;
    }();
    return all;
}

std::variant<const Setting*, std::string> findSetting(std::string_view name) {
    std::optional<SettingsWindow> window;
    for (SettingsWindow w :
         {SettingsWindow::Main, SettingsWindow::Options, SettingsWindow::Dialer}) {
        const std::string prefix = std::string(windowKey(w)) + "/";
        if (name.starts_with(prefix)) {
            window = w;
            name.remove_prefix(prefix.size());
        }
    }
    std::vector<const Setting*> found;
    for (const Setting& s : allSettings()) {
        if (s.label == name && (!window || s.window == *window)) found.push_back(&s);
    }
    if (found.size() == 1) return found.front();
    if (found.empty()) return "no setting is called \"" + std::string(name) + "\"";
    std::string which;
    for (const Setting* s : found) which += (which.empty() ? "" : " or ") + s->qualifiedName();
    std::string text = "\"";
    text.append(name).append("\" is in more than one window: say ").append(which);
    return text;
}

std::variant<Assignment, std::string> checkAssignment(std::string_view name, std::string value) {
    const auto found = findSetting(name);
    if (const auto* error = std::get_if<std::string>(&found)) return *error;
    const Setting* setting = std::get<const Setting*>(found);
    if (!setting->store) return setting->qualifiedName() + " is shown only: it cannot be set";
    // Tried on a scratch workspace: a value the setting cannot hold is refused before any
    // device or file is touched.
    std::array<std::uint8_t, kWorkspaceSize> scratch{};
    if (const Stored error = setting->store(scratch, value)) {
        return setting->qualifiedName() + " " + *error;
    }
    return Assignment{setting, std::move(value)};
}

std::variant<Assignment, std::string> parseAssignment(std::string_view text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        std::string error = "\"";
        return error.append(text).append("\" is no setting: say LABEL=VALUE");
    }
    return checkAssignment(text.substr(0, equals), std::string(text.substr(equals + 1)));
}

}  // namespace veskator
