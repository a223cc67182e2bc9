#include "platform/control_values.h"

#include <algorithm>
#include <stdexcept>

namespace veskator {

ControlValues::ControlValues(const DialogTemplate& layout) {
    for (const ControlTemplate& c : layout.controls) {
        if (c.id == kStaticId || !hasValue(c.kind)) continue;
        Value value{c.id, c.kind, {}};
        value.charLimit = c.charLimit;
        m_values.push_back(value);
    }
}

ControlValues::Value& ControlValues::at(ControlId id) {
    auto it =
        std::find_if(m_values.begin(), m_values.end(), [id](const Value& v) { return v.id == id; });
    // An id outside the template is a programming error, not a runtime condition.
    if (it == m_values.end()) throw std::out_of_range("no value for control " + std::to_string(id));
    return *it;
}

const ControlValues::Value& ControlValues::at(ControlId id) const {
    return const_cast<ControlValues*>(this)->at(id);
}

const std::string& ControlValues::text(ControlId id) const { return at(id).text; }
void ControlValues::setText(ControlId id, std::string_view text) { at(id).text = text; }
bool ControlValues::isChecked(ControlId id) const { return at(id).checked; }
void ControlValues::setChecked(ControlId id, bool on) { at(id).checked = on; }
int ControlValues::position(ControlId id) const { return at(id).position; }
void ControlValues::setPosition(ControlId id, int position) { at(id).position = position; }
int ControlValues::charLimit(ControlId id) const { return at(id).charLimit; }
void ControlValues::setCharLimit(ControlId id, int limit) { at(id).charLimit = std::max(limit, 0); }

void ControlValues::take(const Dialog& dialog) {
    for (Value& v : m_values) {
        switch (v.kind) {
            case ControlKind::Edit:
            case ControlKind::MultiLineEdit:
                v.text = dialog.text(v.id);
                break;
            case ControlKind::Option:
                v.checked = dialog.isChecked(v.id);
                break;
            case ControlKind::Slider:
                v.position = dialog.sliderPosition(v.id);
                break;
            default:
                break;
        }
    }
}

void ControlValues::show(Dialog& dialog) const {
    NotificationBlocker blocker(dialog);
    for (const Value& v : m_values) {
        switch (v.kind) {
            case ControlKind::Edit:
            case ControlKind::MultiLineEdit:
                if (dialog.charLimit(v.id) != v.charLimit) dialog.setCharLimit(v.id, v.charLimit);
                if (dialog.text(v.id) != v.text) dialog.setText(v.id, v.text);
                break;
            case ControlKind::Option:
                if (dialog.isChecked(v.id) != v.checked) dialog.setChecked(v.id, v.checked);
                break;
            case ControlKind::Slider:
                if (dialog.sliderPosition(v.id) != v.position)
                    dialog.setSliderPosition(v.id, v.position);
                break;
            default:
                break;
        }
    }
}

}  // namespace veskator
