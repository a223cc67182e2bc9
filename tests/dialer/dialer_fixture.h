#pragma once
// The dialer window on the headless double beside the main window, whose timer runs the link
// engine against the simulator over loopback: the main window's rig, plus a window the test
// drives step by step.

#include <memory>
#include <string>
#include <string_view>

#include "dialer/dialer_receiver_dlg.h"
#include "model/dialer_data.h"
#include "resources/dialer_dialog_template.h"
#include "tests/support/main_window_rig.h"

namespace veskator::dialer_test {

using namespace std::chrono_literals;
using Kind = sim::SimEvent::Kind;

class DialerWindowTest : public mainwin_test::MainWindowTest {
  protected:
    ~DialerWindowTest() override {
        if (win != nullptr && !win->isClosed()) win->close(0);
    }

    // The main window as at start-up, a full read unless the test wants the zeroed image, then
    // a new dialer window.
    void openDialer(bool readFirst = true) {
        openWindow();
        if (readFirst) readDevice();
        reopen();
    }
    void reopen() {
        if (win != nullptr && !win->isClosed()) win->requestClose();
        dialer = std::make_unique<CDialerReceiverDlg>(services, app->session());
        win = &windows.open(*dialer);
    }
    // The handler's fixed waits have passed (the link runs on meanwhile).
    void afterWaits() {
        ASSERT_TRUE(pumpUntil([this] { return !dialer->programRunning(); }));
    }
    // The technician's hand on the dialer window: each action, then its fixed waits, if any.
    void click(ControlId id) {
        win->click(id);
        if (dialer->programRunning()) afterWaits();
    }
    void replaceText(ControlId id, std::string_view text) {
        win->replaceText(id, text);
        if (dialer->programRunning()) afterWaits();
    }
    void typeText(ControlId id, std::string_view text) {
        win->typeText(id, text);
        if (dialer->programRunning()) afterWaits();
    }
    bool pumpUntilSettled() {
        return pumpUntil(
                   [this] {
                       return (!dialer ||
                               (dialer->pendingEdits() == 0 && !dialer->programRunning())) &&
                              settled();
                   },
                   std::chrono::minutes(5)) &&
               shownAfter();
    }
    std::uint8_t& imageByte(int block, int offset) {
        return state.workspace.image()[static_cast<std::size_t>(imageOffset({block, offset}))];
    }
    void setDeviceByte(int block, int offset, std::uint8_t value) {
        setDeviceBytes(block, offset, std::span(&value, 1));
    }
    std::uint8_t deviceByte(int block, int offset) const {
        return static_cast<std::uint8_t>(
            deviceBytes(static_cast<std::size_t>(imageOffset({block, offset})), 1)[0]);
    }
    std::string area(std::size_t offset, std::size_t size) {
        const auto bytes = state.workspace.dialerDataArea();
        return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                           bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
    }
    // The device commands seen, as "A0", "A7", "reset", "chunk 32", "pairing".
    std::vector<std::string> commands() const {
        std::vector<std::string> seen;
        for (const sim::SimEvent& e : sim->events()) {
            switch (e.kind) {
                case Kind::BlockWrite:
                    seen.push_back(numbered("A", e.number));
                    break;
                case Kind::ChunkWrite:
                    seen.push_back(numbered("chunk ", e.number));
                    break;
                case Kind::RemoteReset:
                    seen.push_back("reset");
                    break;
                case Kind::Pairing:
                    seen.push_back("pairing");
                    break;
                default:
                    break;
            }
        }
        return seen;
    }
    std::string log() const { return win->text(dialer_ids::kLog); }
    // Appended, not "A" + ...: GCC 12 at -O3 takes that insert for an overlapping copy.
    static std::string numbered(std::string_view prefix, int n) {
        std::string text(prefix);
        text += std::to_string(n);
        return text;
    }

    std::unique_ptr<CDialerReceiverDlg> dialer;
    HeadlessDialog* win = nullptr;
};

}  // namespace veskator::dialer_test
