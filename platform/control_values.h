#pragma once
// A window's values: one per control that holds one (edit text, option state, slider position).
// The window's template is the binding table: take copies every control into its value, show
// puts every value into its control.

#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog.h"
#include "resources/dialog_template.h"

namespace veskator {

class ControlValues {
  public:
    explicit ControlValues(const DialogTemplate& layout);

    const std::string& text(ControlId id) const;
    void setText(ControlId id, std::string_view text);
    bool isChecked(ControlId id) const;
    void setChecked(ControlId id, bool on);
    int position(ControlId id) const;
    void setPosition(ControlId id, int position);
    // Edits: the character limit a show gives the control; the template's until changed.
    int charLimit(ControlId id) const;
    void setCharLimit(ControlId id, int limit);

    // Copies every control's content into the values.
    void take(const Dialog& dialog);
    // Writes every value into its control, leaving a control alone whose content already equals
    // the value, and gives an edit its limit where it has another; notifications are suppressed
    // meanwhile, so a show never runs a handler.
    void show(Dialog& dialog) const;

  private:
    struct Value {
        ControlId id;
        ControlKind kind;
        std::string text;
        bool checked = false;
        int position = 0;
        int charLimit = 0;
    };
    Value& at(ControlId id);
    const Value& at(ControlId id) const;

    std::vector<Value> m_values;
};

}  // namespace veskator
