#include "mainwin/main_refresh.h"

#include "link/command_frame.h"
#include "model/main_fields.h"

namespace veskator {

void refreshMainValues(ProgrammerState& state, ControlValues& values) {
    const auto image = state.workspace.image();
    for (const TextField& field : kMainTextFields) {
        values.setText(field.id, showText(image, field));
    }
    values.setText(main_ids::kMacAddress, macAddressText(image));
    refreshMainOptions(state, values);
}

void refreshMainOptions(ProgrammerState& state, ControlValues& values) {
    const auto image = state.workspace.image();
    for (const OptionBit& bit : kMainOptionBits) {
        values.setChecked(
            bit.id, optionShownOn(bit, image[static_cast<std::size_t>(imageOffset(bit.place))]));
    }
}

}  // namespace veskator
