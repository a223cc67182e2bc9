#pragma once
// The options window on the headless double beside the main window, whose timer runs the link
// engine against the simulator over loopback: the main window's rig, plus a window the test
// drives step by step.

#include <memory>
#include <string>
#include <string_view>

#include "options/options_dlg.h"
#include "resources/options_dialog_template.h"
#include "tests/support/main_window_rig.h"

namespace veskator::options_test {

using mainwin_test::textOf;
using namespace std::chrono_literals;

class OptionsWindowTest : public mainwin_test::MainWindowTest {
  protected:
    // The LAN discovery runs its programs on the scripted double: nothing reaches the network.
    OptionsWindowTest() : MainWindowTest(Commands::Scripted) {}
    ~OptionsWindowTest() override {
        if (opt != nullptr && !opt->isClosed()) opt->close(0);
    }

    // The main window as at start-up, a full read unless the test wants the zeroed image, then
    // a new options window.
    void openOptions(bool readFirst = true) {
        openWindow();
        if (readFirst) readDevice();
        reopen();
    }
    void reopen() {
        if (opt != nullptr && !opt->isClosed()) opt->requestClose();
        options = std::make_unique<COptionsDlg>(services, app->session());
        opt = &windows.open(*options);
    }
    // The handler's fixed waits have passed (the link runs on meanwhile).
    void afterWaits() {
        ASSERT_TRUE(pumpUntil([this] { return !options->programRunning(); }));
    }
    // Settled, and no edit of the options window still waiting for its second.
    bool pumpUntilSettled() {
        return pumpUntil([this] {
                   return (!options ||
                           (options->pendingEdits() == 0 && !options->programRunning())) &&
                          settled();
               }) &&
               shownAfter();
    }
    // A text with its zero byte.
    void setDeviceString(int block, int offset, std::string_view text) {
        setDeviceText(block, offset, std::string(text) + '\0');
    }
    std::string deviceText(int block, int offset, std::size_t size) const {
        return deviceBytes(static_cast<std::size_t>(imageOffset({block, offset})), size);
    }
    void setDeviceByte(int block, int offset, std::uint8_t value) {
        setDeviceBytes(block, offset, std::span(&value, 1));
    }
    std::uint8_t imageByte(int block, int offset) const {
        return state.workspace.image()[static_cast<std::size_t>(imageOffset({block, offset}))];
    }
    int writesOf(int block) const {
        int n = 0;
        for (const sim::SimEvent& e : blockWrites()) n += e.number == block ? 1 : 0;
        return n;
    }
    std::string optText(ControlId id) const { return opt->text(id); }

    std::unique_ptr<COptionsDlg> options;
    HeadlessDialog* opt = nullptr;
};

}  // namespace veskator::options_test
