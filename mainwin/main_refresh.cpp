#include "mainwin/main_refresh.h"

namespace veskator {

bool optionShownOn(const OptionBit& bit, std::uint8_t byte) {
    const bool set = (byte & bit.mask) != 0;
    return bit.onWhenClear ? !set : set;
}

void refreshMainValues(ProgrammerState& state, ControlValues& values) {
    const auto image = state.workspace.image();
    for (const TextPlacement& p : kMainTextPlacements) {
        values.setText(p.id, readText(image, imageOffset(p.place), p.showChars));
    }
    std::string mac;
    for (int i = 0; i < kMacBytes; ++i) mac += hexByte(image[imageOffset(kMacPlace) + i]);
    values.setText(main_ids::kMacAddress, mac);
    refreshMainOptions(state, values);
}

void refreshMainOptions(ProgrammerState& state, ControlValues& values) {
    const auto image = state.workspace.image();
    state.reloadOptionCopies();
    for (const OptionBit& bit : kMainOptionBits) {
        values.setChecked(bit.id, optionShownOn(bit, image[imageOffset(bit.place)]));
    }
}

}  // namespace veskator
