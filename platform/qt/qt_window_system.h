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

    int run(DialogWindow& window) override;
    std::unique_ptr<Alarm> makeAlarm(std::function<void()> action) override;

    // Builds the window, calls its onInit and shows it, unless it closed itself there (tests
    // drive such a window step by step). onClosed is not called for it.
    std::unique_ptr<QtDialog> open(DialogWindow& window, QWidget* parent = nullptr);
    // Builds a window and calls its onInit, without showing it.
    std::unique_ptr<QtDialog> prepare(DialogWindow& window, QWidget* parent);

    // While any window has a child open, its opener takes no input (as under a modal window),
    // but its close requests still come (Qt drops those of a window a modal one blocks). Calls
    // nest: one per open child.
    void holdOpeners(bool held);

    // Adds an entry to the system menu of every window built from the template resourceId. An
    // empty text adds nothing.
    void addSystemMenuEntry(int resourceId, int command, std::string_view text);

  private:
    std::unique_ptr<QtDialog> build(DialogWindow& window, QWidget* parent);

    class InputBlocker final : public QObject {
      public:
        bool eventFilter(QObject* watched, QEvent* event) override;
    };

    InputBlocker m_blocker;
    int m_openChildren = 0;
    std::map<int, std::vector<SystemMenuEntry>> m_menuEntries;
};

}  // namespace veskator
