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
};

struct ControlTemplate {
    ControlId id;
    ControlKind kind;
    std::string_view text;    // label of buttons, options, labels and frames; empty for edits
    int x, y, width, height;  // dialog units
    int charLimit = 0;        // edits: 0 = no limit
    // Edits and sliders: the label that names them for assistive technology and tests.
    std::string_view accessibleName = {};
    bool password = false;
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

constexpr const ControlTemplate* findControl(std::span<const ControlTemplate> controls,
                                             ControlId id) {
    for (const ControlTemplate& c : controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

}  // namespace veskator
