#pragma once
// Every setting the three windows show, by window and label: how each shows from a workspace and
// how a value is stored by the window's own rules (bounded slots, numbers in their range,
// either-or pairs). The comparison, and the command line's get and set, all read this one list.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "model/parameter_workspace.h"

namespace veskator {

enum class SettingsWindow { Main, Options, Dialer };

// The window's caption, as a report names it.
std::string_view windowName(SettingsWindow window);
// The short name a setting may be qualified by: "main", "options", "dialer".
std::string_view windowKey(SettingsWindow window);

using Workspace = std::span<std::uint8_t, kWorkspaceSize>;
using ConstWorkspace = std::span<const std::uint8_t, kWorkspaceSize>;
// Bytes of the workspace a setting shows: offset and bits.
using NamedBits = std::vector<std::pair<std::size_t, std::uint8_t>>;

// What a setting takes, as a script is told it; the store itself says no to the rest.
enum class SettingKind {
    Text,    // any characters of latin-1, up to maxChars
    Digits,  // decimal digits, up to maxChars
    Port,    // a TCP port 1 to 65535 in digits
    Host,    // a host name with its domain or a dotted IPv4 address, up to maxChars
    OnOff,   // "on" or "off"
    Number,  // low to high, in steps of step
    Choice,  // one of choices
    Shown,   // shown only: it cannot be set
};

// "text", "digits", "port", "host", "on/off", "number", "choice", "shown".
std::string_view kindName(SettingKind kind);

struct Setting {
    SettingsWindow window;
    // Unique within its window: a label the window shows twice names its frame ("ARM (LOOP1)").
    std::string label;
    std::function<std::string(ConstWorkspace)> show;
    // Stores a value as the window would: nullopt when stored, otherwise why it cannot be (and
    // nothing changes). Empty for a setting that is shown only.
    std::function<std::optional<std::string>(Workspace, std::string_view)> store;
    NamedBits named;
    bool secret = false;
    // A text shows its slot up to its zero byte only, and at most this many characters; 0 for a
    // setting that is no text.
    std::size_t textChars = 0;
    // In the image, written to the device as blocks; otherwise in the dialer's lists or the spare
    // area, which only the dialer upload sends or a parameter file keeps.
    bool inImage = true;

    // The window's control that shows it (an edit, an option, a number box); 0 for a setting
    // shown by a group of buttons or one list entry at a time.
    int control = 0;
    SettingKind kind = SettingKind::Shown;
    // "window.label_in_lower_case": what a script names it by, made of the window's key and the
    // label once, unique and stable while the label is.
    std::string key{};
    std::size_t maxChars = 0;  // Text, Digits, Host: what the slot holds
    int low = 0;               // Number
    int high = 0;
    int step = 1;
    std::vector<std::string> choices{};  // Choice
    // What a script would not guess from the label and kind: a range the label misstates, a
    // switch that turns another off, a label with blanks at its end.
    std::string note{};

    std::string qualifiedName() const;
    // What the setting takes, in a few words: "text, up to 15 characters", "number 0 to 510 in
    // steps of 2", "one of: 1200, 2400".
    std::string kindText() const;
};

const std::vector<Setting>& allSettings();

// The setting named by its key (in any case), "LABEL" or "WINDOW/LABEL" (WINDOW as windowKey gives
// it; a label may come without the blanks it ends in), or why there is none or more than one.
std::variant<const Setting*, std::string> findSetting(std::string_view name);

struct Assignment {
    const Setting* setting = nullptr;
    std::string value;  // latin-1
};

// The device's texts are latin-1, one byte a character; a shell and JSON speak UTF-8. nullopt for
// a text that is no UTF-8 or holds a character beyond latin-1.
std::optional<std::string> latin1FromUtf8(std::string_view utf8);
std::string utf8FromLatin1(std::string_view latin1);

// "LABEL=VALUE" (or "WINDOW/LABEL=VALUE", or "KEY=VALUE") checked against its setting, before any
// workspace is touched: the assignment, or why it cannot be made. The value is UTF-8, as a shell
// or a JSON file gives it; the assignment holds it as the device stores it, in latin-1.
std::variant<Assignment, std::string> parseAssignment(std::string_view text);
std::variant<Assignment, std::string> checkAssignment(std::string_view name, std::string value);

}  // namespace veskator
