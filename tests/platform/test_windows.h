#pragma once
// Window classes for the platform tests: they record what the platform tells them.

#include <QElapsedTimer>
#include <QTest>
#include <array>
#include <chrono>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/dialog_window.h"
#include "resources/dialog_template.h"

namespace veskator::testing {

// A small window with the control kinds the main window lacks.
namespace probe_ids {
inline constexpr ControlId kSlider = 2001;
inline constexpr ControlId kSecret = 2002;
inline constexpr ControlId kNotes = 2003;
inline constexpr ControlId kButton = 2004;
}  // namespace probe_ids

// clang-format off
inline constexpr std::array<ControlTemplate, 5> kProbeControls{{
    slider(probe_ids::kSlider, 10, 10, 100, 15, "volume"),
    edit(probe_ids::kSecret, 10, 30, 100, 12, "secret").limit(8).password(),
    multiLineEdit(probe_ids::kNotes, 10, 50, 100, 30, "notes").limit(10),
    button(probe_ids::kButton, "Open a child window", 120, 10, 40, 30),
    label("probe", 120, 50, 40, 10),
}};
// clang-format on
static_assert(idsAreUnique(kProbeControls));
static_assert(controlsAreNamed(kProbeControls));
inline constexpr DialogTemplate kProbeTemplate{900, "Probe", 200,           120, "MS Sans Serif",
                                               8,   128,     kProbeControls};
inline constexpr DialogTemplate kChildTemplate{901, "Child", 200,           120, "MS Sans Serif",
                                               8,   128,     kProbeControls};

// Records every call as "name:id" into a log, which several windows may share.
class RecordingWindow : public DialogWindow {
  public:
    RecordingWindow(const DialogTemplate& layout, std::string name, std::vector<std::string>& log)
        : m_layout(layout), m_name(std::move(name)), m_log(log) {}

    const DialogTemplate& dialogTemplate() const override { return m_layout; }
    void onInit(Dialog& dialog) override {
        m_dialog = &dialog;
        record("init", 0);
    }
    void onClosed() override {
        record("closed", 0);
        m_dialog = nullptr;
    }
    void onTextChanged(ControlId id) override { record("text", id); }
    void onClicked(ControlId id) override {
        record("click", id);
        if (onClick) onClick(id);
    }
    void onSliderMoved(ControlId id) override { record("slider", id); }
    void onTimer(TimerId id) override {
        record("tick", id);
        ++ticks;
    }
    void onSystemCommand(int command) override { record("system", command); }
    bool onCloseRequested() override {
        record("closeRequest", 0);
        return allowClose;
    }
    void onEditEnter(ControlId id) override { record("enter", id); }
    std::span<const ContextMenuEntry> contextMenuEntries() const override { return menuEntries; }
    bool contextEntryChecked(int command) const override { return checked.count(command) > 0; }
    // A checkable entry flips its mark.
    void onContextCommand(int command) override {
        record("context", command);
        if (checked.erase(command) == 0) checked.insert(command);
    }

    Dialog* dialog() const { return m_dialog; }
    int count(const std::string& entry) const {
        int n = 0;
        for (const std::string& e : m_log) n += e == m_name + "." + entry ? 1 : 0;
        return n;
    }

    std::function<void(ControlId)> onClick;
    // Set before the window is opened.
    std::vector<ContextMenuEntry> menuEntries;
    std::set<int> checked;
    int ticks = 0;
    bool allowClose = true;

  private:
    void record(const char* what, int id) {
        m_log.push_back(m_name + "." + what + ":" + std::to_string(id));
    }

    const DialogTemplate& m_layout;
    std::string m_name;
    std::vector<std::string>& m_log;
    Dialog* m_dialog = nullptr;
};

// Runs the event loop until the condition holds or a generous deadline passes.
template <typename Condition>
bool processUntil(Condition condition,
                  std::chrono::milliseconds deadline = std::chrono::milliseconds{5000}) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > deadline.count()) return false;
        QTest::qWait(2);
    }
    return true;
}

}  // namespace veskator::testing
