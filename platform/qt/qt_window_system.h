#pragma once
// Opens windows as real Qt dialogs.

#include <QWidget>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/qt/dialog_units.h"
#include "platform/qt/qt_dialog.h"
#include "platform/window_system.h"

namespace veskator {

class QtWindowSystem final : public WindowSystem {
  public:
    QtWindowSystem() = default;
    QtWindowSystem(const QtWindowSystem&) = delete;
    QtWindowSystem& operator=(const QtWindowSystem&) = delete;

    int runModal(DialogWindow& window) override;
    std::unique_ptr<Alarm> makeAlarm(std::function<void()> action) override;
    // The modal run of a window opened by another one; parent is the opener's dialog.
    int runModal(DialogWindow& window, QtDialog* parent);

    // Builds the window, calls its onInit and shows it without a modal run of its own (tests
    // drive such a window step by step). onClosed is not called for it.
    std::unique_ptr<QtDialog> open(DialogWindow& window, QWidget* parent = nullptr);

    // Adds an entry to the system menu of every window built from the template resourceId. An
    // empty text adds nothing.
    void addSystemMenuEntry(int resourceId, int command, std::string_view text);

  private:
    std::unique_ptr<QtDialog> build(DialogWindow& window, QWidget* parent);
    int runChild(QtDialog& child, QtDialog& parent);

    // While a window runs above its opener, the opener takes no input, as under a modal window,
    // but its close requests still come (Qt drops those of a window a modal one blocks).
    class InputBlocker final : public QObject {
      public:
        bool eventFilter(QObject* watched, QEvent* event) override;
    };

    InputBlocker m_blocker;
    int m_children = 0;
    std::map<int, std::vector<SystemMenuEntry>> m_menuEntries;
};

}  // namespace veskator
