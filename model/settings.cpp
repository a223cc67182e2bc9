#include "model/settings.h"

#include <algorithm>
#include <cctype>
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
std::size_t slotChars(std::size_t size, SlotRule rule) {
    return rule == SlotRule::Terminated ? size - 1 : size;
}

SettingKind settingKind(TextKind kind) {
    switch (kind) {
        case TextKind::Text:
            return SettingKind::Text;
        case TextKind::Digits:
            return SettingKind::Digits;
        case TextKind::Port:
            return SettingKind::Port;
        case TextKind::Host:
            return SettingKind::Host;
    }
    return SettingKind::Text;
}

Stored storeSlot(std::span<std::uint8_t> slot, SlotRule rule, std::string_view value) {
    const std::size_t most = slotChars(slot.size(), rule);
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
        s.kind = settingKind(f.kind);
        s.maxChars = slotChars(static_cast<std::size_t>(f.slotSize), f.rule);
        s.store = [f](Workspace w, std::string_view value) -> Stored {
            if (Stored refused = kindRefusal(f.kind, value)) return refused;
            return storeSlot(w.subspan(offsetOf(f.place), static_cast<std::size_t>(f.slotSize)),
                             f.rule, value);
        };
    }
    s.control = f.id;
    out.push_back(std::move(s));
}

// An option on or off; one of the main window's either-or pair clears its partner; `clearOnly` an
// alarm latch, which a click only ever clears.
void addOption(std::vector<Setting>& out, SettingsWindow window, const DialogTemplate& layout,
               const OptionBit& bit, bool eitherOr = false, bool clearOnly = false) {
    Setting s{window,
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
              {{offsetOf(bit.place), bit.mask}}};
    s.kind = SettingKind::OnOff;
    if (clearOnly) s.note = "an alarm latch: it can only be cleared (off)";
    if (eitherOr) {
        s.note = "on turns \"" + settingLabel(layout, eitherOrPartner(bit.id)) + "\" off";
    }
    s.control = bit.id;
    out.push_back(std::move(s));
}

void addNumber(std::vector<Setting>& out, SettingsWindow window, const DialogTemplate& layout,
               int box, ImagePlace place, int high, int factor = 1) {
    std::string label = labelOf(layout, box);
    Setting s{
        window, std::move(label),
        [place, factor](ConstWorkspace w) { return std::to_string(factor * byteAt(w, place)); },
        [place, high, factor](Workspace w, std::string_view value) -> Stored {
            const std::optional<int> n = number(value);
            const std::string range = "0 to " + std::to_string(high * factor);
            if (!n || *n > high * factor) return "takes a number from " + range;
            if (*n % factor != 0) return "takes an even number from " + range;
            w[offsetOf(place)] = static_cast<std::uint8_t>(*n / factor);
            return std::nullopt;
        },
        wholeBytes(offsetOf(place), 1)};
    s.kind = SettingKind::Number;
    s.high = high * factor;
    s.step = factor;
    s.control = box;
    out.push_back(std::move(s));
}

// A choice of one of several labels (the RS232 output format, the baud rate).
template <typename Rows, typename Store>
void addChoice(std::vector<Setting>& out, SettingsWindow window, std::string label,
               std::function<std::string(ConstWorkspace)> show, const Rows& rows, Store store,
               NamedBits named) {
    const auto& layout = kDialerDialogTemplate;
    std::string choices;
    std::vector<std::string> labels;
    for (const auto& row : rows) {
        choices += (choices.empty() ? "" : ", ") + labelOf(layout, row.id);
        labels.push_back(labelOf(layout, row.id));
    }
    Setting s{window, std::move(label), std::move(show),
              [rows, store, choices](Workspace w, std::string_view value) -> Stored {
                  for (const auto& row : rows) {
                      if (labelOf(kDialerDialogTemplate, row.id) != value) continue;
                      store(w, row);
                      return std::nullopt;
                  }
                  return "takes one of: " + choices;
              },
              std::move(named)};
    s.kind = SettingKind::Choice;
    s.choices = std::move(labels);
    out.push_back(std::move(s));
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
    out.back().control = main_ids::kMacAddress;
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
    for (const SliderRow& row : kSliders) {
        addNumber(out, window, layout, row.box, row.place, row.high);
        out.back().show = [row](ConstWorkspace w) {
            return std::to_string(sliderBoxValue(row, byteAt(w, row.place)));
        };
    }
    addNumber(out, window, layout, options_ids::kTestRate, kTestRatePlace, kByteMax, kTestRateStep);
    out.back().note =
        "the device counts in steps of 2 seconds: even numbers 0 to 510, whatever the "
        "label says";
    addNumber(out, window, layout, options_ids::kModulationBox, kModulationPlace, kByteMax);
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
        addNumber(out, window, layout, row.id, row.place, kByteMax);
    addText(out, window, layout, kStartupDelayField);
    // The lists, each slot read and stored the way the window does.
    const auto listEntry = [&](std::string label, std::size_t offset, std::size_t size,
                               SlotRule rule) {
        Setting s{window,
                  std::move(label),
                  [offset, size](ConstWorkspace w) {
                      return readText(w.subspan(offset, size), 0, static_cast<int>(size));
                  },
                  [offset, size, rule](Workspace w, std::string_view value) {
                      return storeSlot(w.subspan(offset, size), rule, value);
                  },
                  wholeBytes(offset, size),
                  false,
                  size,
                  false};
        s.kind = SettingKind::Text;
        s.maxChars = slotChars(size, rule);
        s.note = "goes to the dialer with its upload, not with a write: set it in a parameter file";
        out.push_back(std::move(s));
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

std::string_view kindName(SettingKind kind) {
    switch (kind) {
        case SettingKind::Text:
            return "text";
        case SettingKind::Digits:
            return "digits";
        case SettingKind::Port:
            return "port";
        case SettingKind::Host:
            return "host";
        case SettingKind::OnOff:
            return "on/off";
        case SettingKind::Number:
            return "number";
        case SettingKind::Choice:
            return "choice";
        case SettingKind::Shown:
            return "shown";
    }
    return {};
}

std::string Setting::qualifiedName() const { return std::string(windowKey(window)) + "/" + label; }

std::string Setting::kindText() const {
    const std::string most = ", up to " + std::to_string(maxChars) + " characters";
    switch (kind) {
        case SettingKind::Text:
            return "text" + most;
        case SettingKind::Digits:
            return "decimal digits" + most;
        case SettingKind::Port:
            return "a port, 1 to 65535";
        case SettingKind::Host:
            return "a host name with its domain or a dotted IPv4 address" + most;
        case SettingKind::OnOff:
            return "on or off";
        case SettingKind::Number: {
            std::string text =
                "a number from " + std::to_string(low) + " to " + std::to_string(high);
            if (step != 1) text += " in steps of " + std::to_string(step);
            return text;
        }
        case SettingKind::Choice: {
            std::string text = "one of:";
            for (const std::string& c : choices) text += (&c == choices.data() ? " " : ", ") + c;
            return text;
        }
        case SettingKind::Shown:
            return "shown only";
    }
    return {};
}

namespace {

std::string_view withoutTrailingBlanks(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// The window's key, a dot, and the label's ASCII letters and digits in lower case, every other
// run of characters one underscore: "options.smtp_port_number_like_25_80_or_587".
std::string keyOf(const Setting& s) {
    std::string key(windowKey(s.window));
    key += '.';
    const std::size_t start = key.size();
    bool gap = false;
    for (const char ch : s.label) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80 && std::isalnum(c)) {
            if (gap && key.size() > start) key += '_';
            key += static_cast<char>(std::tolower(c));
            gap = false;
        } else {
            gap = true;
        }
    }
    return key;
}

void nameSettings(std::vector<Setting>& all) {
    std::map<std::string, int> taken;
    for (Setting& s : all) {
        std::string key = keyOf(s);
        const int seen = ++taken[key];
        // A second setting of the same letters takes the next free number after its key.
        if (seen > 1) {
            for (int n = seen;; ++n) {
                std::string numbered = key + "_" + std::to_string(n);
                if (!taken.contains(numbered)) {
                    key = std::move(numbered);
                    ++taken[key];
                    break;
                }
            }
        }
        s.key = std::move(key);
        if (withoutTrailingBlanks(s.label).size() != s.label.size()) {
            const std::string blanks = "the label ends in a blank, and is taken without it too";
            s.note = s.note.empty() ? blanks : s.note + "; " + blanks;
        }
    }
}

bool sameInAnyCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

const std::vector<Setting>& allSettings() {
    static const std::vector<Setting> all = [] {
        std::vector<Setting> out;
        addMainWindow(out);
        addOptionsWindow(out);
        addDialerWindow(out);
        nameSettings(out);
        return out;
    }();
    return all;
}

std::optional<std::string> latin1FromUtf8(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        // Latin-1 beyond ASCII is U+0080 to U+00FF: two bytes, C2 or C3 and a continuation.
        if ((c != 0xc2 && c != 0xc3) || i + 1 >= utf8.size()) return std::nullopt;
        const auto next = static_cast<unsigned char>(utf8[i + 1]);
        if ((next & 0xc0) != 0x80) return std::nullopt;
        out += static_cast<char>(((c & 0x03) << 6) | (next & 0x3f));
        ++i;
    }
    return out;
}

std::string utf8FromLatin1(std::string_view latin1) {
    std::string out;
    for (const char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::variant<const Setting*, std::string> findSetting(std::string_view name) {
    for (const Setting& s : allSettings()) {
        if (sameInAnyCase(s.key, name)) return &s;
    }
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
        const bool named = s.label == name || withoutTrailingBlanks(s.label) == name;
        if (named && (!window || s.window == *window)) found.push_back(&s);
    }
    if (found.size() == 1) return found.front();
    if (found.empty()) return "no setting is called \"" + std::string(name) + "\"";
    std::string which;
    for (const Setting* s : found) which += (which.empty() ? "" : " or ") + s->qualifiedName();
    std::string text = "\"";
    text.append(name).append("\" is in more than one window: say ").append(which);
    return text;
}

std::variant<Assignment, std::string> checkAssignment(std::string_view name, std::string text) {
    const auto found = findSetting(name);
    if (const auto* error = std::get_if<std::string>(&found)) return *error;
    const Setting* setting = std::get<const Setting*>(found);
    if (!setting->store) return setting->qualifiedName() + " is shown only: it cannot be set";
    std::optional<std::string> latin1 = latin1FromUtf8(text);
    if (!latin1) {
        return setting->qualifiedName() +
               " takes characters of latin-1 only (as UTF-8), one byte each on the device";
    }
    std::string value = std::move(*latin1);
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
