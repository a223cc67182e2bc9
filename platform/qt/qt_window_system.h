#pragma once
// Opens windows as real Qt dialogs and owns the tick gate that all of them share.

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/qt/dialog_units.h"
#include "platform/qt/qt_dialog.h"
#include "platform/qt/tick_gate.h"
#include "platform/window_system.h"

namespace veskator {

class QtWindowSystem final : public WindowSystem {
  public:
    using OpenedHook = std::function<void(QtDialog&)>;

    QtWindowSystem() = default;
    QtWindowSystem(const QtWindowSystem&) = delete;
    QtWindowSystem& operator=(const QtWindowSystem&) = delete;

    int runModal(DialogWindow& window) override;
    // The modal run of a window opened by another one; parent is the opener's dialog.
    int runModal(DialogWindow& window, QWidget* parent);

    // Builds the window, calls its onInit and shows it without a modal run of its own (tests
    // drive such a window step by step). onClosed is not called for it.
    std::unique_ptr<QtDialog> open(DialogWindow& window, QWidget* parent = nullptr);

    // Adds an entry to the system menu of every window built from the template resourceId. An
    // empty text adds nothing.
    void addSystemMenuEntry(int resourceId, int command, std::string_view text);
    // Fixes the dialog base units instead of measuring the template's font (tests use this so
    // that layout does not depend on the fonts installed).
    void forceBaseUnits(std::optional<DialogBaseUnits> units) { m_forcedUnits = units; }
    // Called with each modally run dialog once its modal loop is running.
    void setOpenedHook(OpenedHook hook) { m_openedHook = std::move(hook); }

    // The innermost dialog that exists, nullptr when none.
    QtDialog* currentDialog() const { return m_dialogs.empty() ? nullptr : m_dialogs.back(); }
    TickGate& gate() { return m_gate; }

  private:
    friend class QtDialog;
    std::unique_ptr<QtDialog> build(DialogWindow& window, QWidget* parent);
    void registerDialog(QtDialog* dialog) { m_dialogs.push_back(dialog); }
    void unregisterDialog(QtDialog* dialog);

    TickGate m_gate;
    std::map<int, std::vector<SystemMenuEntry>> m_menuEntries;
    std::optional<DialogBaseUnits> m_forcedUnits;
    OpenedHook m_openedHook;
    std::vector<QtDialog*> m_dialogs;
};

}  // namespace veskator
