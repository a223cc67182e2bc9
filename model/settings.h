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

    std::string qualifiedName() const;
};

const std::vector<Setting>& allSettings();

// The setting named "LABEL" or "WINDOW/LABEL" (WINDOW as windowKey gives it), or why there is none
// or more than one.
std::variant<const Setting*, std::string> findSetting(std::string_view name);

struct Assignment {
    const Setting* setting = nullptr;
    std::string value;
};

// "LABEL=VALUE" (or "WINDOW/LABEL=VALUE") checked against its setting, before any workspace is
// touched: the assignment, or why it cannot be made.
std::variant<Assignment, std::string> parseAssignment(std::string_view text);
std::variant<Assignment, std::string> checkAssignment(std::string_view name, std::string value);

}  // namespace veskator
