#pragma once
// Dialog templates: every window is described once as constexpr data (control ids, kinds, texts,
// positions in dialog units, limits) and built into widgets by the platform layer. Tab order is
// template order.

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace veskator {

using ControlId = int;

// Labels and frames carry no id of their own, as in the original resources.
inline constexpr ControlId kStaticId = -1;

enum class ControlKind {
    Edit,           // one-line text box
    MultiLineEdit,  // multi-line text box
    PushButton,
    Option,  // two-state radio-style button, a group of its own
    Label,
    GroupFrame,
    Slider,  // horizontal track bar
    // A bar the window fills from code (range and position as a slider's) with a text of its
    // own; it takes no input.
    Progress,
    // Rows of cells under column headings, filled from code; the user sorts them by a column,
    // opens the rows that hold rows of their own, selects and copies them.
    Table,
    // A small button that opens the list of choices the window gave it; picking one is the
    // window's to act on.
    DropDown,
};

struct ControlTemplate {
    ControlId id;
    ControlKind kind;
    std::string_view text;    // label of buttons, options, labels and frames; empty for edits
    int x, y, width, height;  // dialog units
    int charLimit = 0;        // edits: 0 = no limit
    // Edits and sliders: the label that names them for assistive technology and tests.
    std::string_view accessibleName = {};
    bool masked = false;  // a password edit

    // Modifiers of a row: edit(...).limit(15).password()
    constexpr ControlTemplate limit(int characters) const {
        ControlTemplate c = *this;
        c.charLimit = characters;
        return c;
    }
    constexpr ControlTemplate password() const {
        ControlTemplate c = *this;
        c.masked = true;
        return c;
    }
};

struct DialogTemplate {
    int resourceId;
    std::string_view caption;
    int width, height;  // dialog units
    std::string_view fontFamily;
    int fontPoints;
    int iconResource;
    std::span<const ControlTemplate> controls;
};

// Template rows, read by name. Positions and sizes are in dialog units; an edit's or a slider's
// name is the label that stands for it.
// A control known by a name of its own rather than by a text it shows.
constexpr ControlTemplate named(ControlKind kind, ControlId id, int x, int y, int width, int height,
                                std::string_view name) {
    return {id, kind, {}, x, y, width, height, 0, name};
}
constexpr ControlTemplate edit(ControlId id, int x, int y, int width, int height,
                               std::string_view name) {
    return named(ControlKind::Edit, id, x, y, width, height, name);
}
constexpr ControlTemplate multiLineEdit(ControlId id, int x, int y, int width, int height,
                                        std::string_view name) {
    return named(ControlKind::MultiLineEdit, id, x, y, width, height, name);
}
constexpr ControlTemplate slider(ControlId id, int x, int y, int width, int height,
                                 std::string_view name) {
    return named(ControlKind::Slider, id, x, y, width, height, name);
}
constexpr ControlTemplate progress(ControlId id, int x, int y, int width, int height,
                                   std::string_view name) {
    return named(ControlKind::Progress, id, x, y, width, height, name);
}
constexpr ControlTemplate table(ControlId id, int x, int y, int width, int height,
                                std::string_view name) {
    return named(ControlKind::Table, id, x, y, width, height, name);
}
constexpr ControlTemplate dropDown(ControlId id, int x, int y, int width, int height,
                                   std::string_view name) {
    return named(ControlKind::DropDown, id, x, y, width, height, name);
}
constexpr ControlTemplate option(ControlId id, std::string_view label, int x, int y, int width,
                                 int height) {
    return {id, ControlKind::Option, label, x, y, width, height};
}
constexpr ControlTemplate button(ControlId id, std::string_view label, int x, int y, int width,
                                 int height) {
    return {id, ControlKind::PushButton, label, x, y, width, height};
}
constexpr ControlTemplate label(std::string_view text, int x, int y, int width, int height) {
    return {kStaticId, ControlKind::Label, text, x, y, width, height};
}
// A label with an id of its own: a status text the window updates.
constexpr ControlTemplate label(ControlId id, std::string_view text, int x, int y, int width,
                                int height) {
    return {id, ControlKind::Label, text, x, y, width, height};
}
constexpr ControlTemplate group(std::string_view text, int x, int y, int width, int height) {
    return {kStaticId, ControlKind::GroupFrame, text, x, y, width, height};
}

static_assert(edit(7, 1, 2, 3, 4, "pin").limit(6).password().charLimit == 6);
static_assert(edit(7, 1, 2, 3, 4, "pin").password().masked);
static_assert(edit(7, 1, 2, 3, 4, "pin").limit(6).accessibleName == "pin");

constexpr bool hasValue(ControlKind kind) {
    return kind == ControlKind::Edit || kind == ControlKind::MultiLineEdit ||
           kind == ControlKind::Option || kind == ControlKind::Slider;
}

// True when every control with an id has a distinct one; used in static_asserts.
template <std::size_t N>
constexpr bool idsAreUnique(const std::array<ControlTemplate, N>& controls) {
    for (std::size_t i = 0; i < N; ++i) {
        if (controls[i].id == kStaticId) continue;
        for (std::size_t j = i + 1; j < N; ++j) {
            if (controls[i].id == controls[j].id) return false;
        }
    }
    return true;
}

// True when every control lies inside a dialog of the given size.
template <std::size_t N>
constexpr bool controlsInside(const std::array<ControlTemplate, N>& controls, int width,
                              int height) {
    return std::all_of(controls.begin(), controls.end(), [&](const ControlTemplate& c) {
        return c.x >= 0 && c.y >= 0 && c.x + c.width <= width && c.y + c.height <= height;
    });
}

// True when every control a user works has a name for assistive technology: edits and sliders
// their accessible name, options and buttons their label.
template <std::size_t N>
constexpr bool controlsAreNamed(const std::array<ControlTemplate, N>& controls) {
    return std::all_of(controls.begin(), controls.end(), [](const ControlTemplate& c) {
        switch (c.kind) {
            case ControlKind::Edit:
            case ControlKind::MultiLineEdit:
            case ControlKind::Slider:
            case ControlKind::Progress:
            case ControlKind::Table:
            case ControlKind::DropDown:
                return !c.accessibleName.empty();
            case ControlKind::Option:
            case ControlKind::PushButton:
                return !c.text.empty();
            default:
                return true;
        }
    });
}

static_assert(!controlsAreNamed(std::array{edit(1, 0, 0, 10, 10, "")}));
static_assert(!controlsAreNamed(std::array{option(1, "", 0, 0, 10, 10)}));

constexpr const ControlTemplate* findControl(std::span<const ControlTemplate> controls,
                                             ControlId id) {
    for (const ControlTemplate& c : controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

}  // namespace veskator
