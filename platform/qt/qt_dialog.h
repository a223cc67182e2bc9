#pragma once
// A window built from its template on real Qt widgets. One generic builder makes every control a
// child widget at its template rectangle; notifications of user actions go to the DialogWindow.

#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "platform/qt/dialog_units.h"

class QAction;
class QMenu;
class QTimer;

namespace veskator {

class QtWindowSystem;

// An entry of a window's system menu: chosen, it raises onSystemCommand(command).
struct SystemMenuEntry {
    int command = 0;
    std::string text;
};

class QtDialog final : public QDialog, public Dialog {
    Q_OBJECT
  public:
    // Controls are laid out by metrics and drawn in font. A dialog larger than a valid `room`
    // scrolls inside a window of that size.
    QtDialog(QtWindowSystem& system, DialogWindow& window, const QFont& font,
             const DialogMetrics& metrics, const std::vector<SystemMenuEntry>& menuEntries,
             QWidget* parent, QSize room = {});

    // Dialog
    std::string text(ControlId id) const override;
    void setText(ControlId id, std::string_view text) override;
    bool isChecked(ControlId id) const override;
    void setChecked(ControlId id, bool on) override;
    void setSliderRange(ControlId id, int low, int high) override;
    int sliderPosition(ControlId id) const override;
    void setSliderPosition(ControlId id, int position) override;
    void setCharLimit(ControlId id, int limit) override;
    int charLimit(ControlId id) const override;
    void setPasswordMode(ControlId id, bool masked) override;
    void setAllowedCharacters(ControlId id, std::string_view characters) override;
    void setEnabled(ControlId id, bool enabled) override;
    bool isEnabled(ControlId id) const override;
    using QDialog::isEnabled;
    using QDialog::setEnabled;
    void setTable(ControlId id, const TableContent& content) override;
    void setChoices(ControlId id, std::span<const std::string> choices) override;
    void suppressNotifications(bool on) override;
    void holdInput(bool held) override;
    void armTimer(TimerId id, std::chrono::milliseconds period) override;
    void killTimer(TimerId id) override;
    void triggerTimer(TimerId id) override;
    void openChild(std::unique_ptr<DialogWindow> child, std::function<void(int)> closed) override;
    void ask(std::string_view question, std::function<void(bool)> answered) override;
    void pickFile(std::string_view title, std::string_view folder,
                  std::span<const std::string> filters, FilePick mode,
                  std::function<void(std::string)> picked) override;
    void close(int result) override;

    // What tests and the window system look at.
    DialogWindow& window() { return m_window; }
    QWidget* control(ControlId id) const;  // nullptr for an id outside the template
    const DialogMetrics& metrics() const { return m_metrics; }
    QMenu* systemMenu() const { return m_systemMenu; }
    // The window's own right-click menu, its entries followed by the system menu's; nullptr for
    // a window without entries of its own (a right click shows the system menu alone).
    QMenu* contextMenu() const { return m_contextMenu; }
    bool isClosed() const { return m_closed; }
    // The window this one opened and shows above it, if any.
    QtDialog* openChild() const { return m_child ? m_child->dialog.get() : nullptr; }
    std::optional<std::chrono::milliseconds> timerPeriod(TimerId id) const;

    void done(int result) override;
    void reject() override;

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // A child window and what it was opened with; the dialog goes before the window it shows.
    struct Child {
        std::unique_ptr<DialogWindow> window;
        std::unique_ptr<QtDialog> dialog;
        std::function<void(int)> closed;
    };

    struct Control {
        ControlKind kind = ControlKind::Label;
        QWidget* widget = nullptr;
        int charLimit = 0;
        // Multi-line edits: the bytes last set from code and what the widget made of them, so
        // that line ends come back byte for byte while the user has not changed the text; and
        // the content after the last change let in, which a keystroke past the limit returns to.
        std::string raw;
        QString shown;
        QString accepted;
        // Tables: what the window set, for text().
        TableContent table;
        // Drop-downs and edits: what the list or the right-click menu offers.
        std::vector<std::string> choices;
    };

    // What the user does to this window while its input is held: kept in order, then sent on.
    class InputHold final : public QObject {
      public:
        explicit InputHold(QtDialog& dialog) : m_dialog(dialog) {}
        void hold(bool held);
        bool eventFilter(QObject* watched, QEvent* event) override;

      private:
        QtDialog& m_dialog;
        std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> m_events;
        bool m_held = false;
    };

    void build(const std::vector<SystemMenuEntry>& menuEntries, QSize room);
    // The widget the controls are children of: the dialog, or the inside of its scroll area.
    QWidget* host() { return m_host; }
    void buildContextMenu();
    QWidget* makeWidget(const ControlTemplate& c);
    Control& at(ControlId id);
    const Control& at(ControlId id) const;
    template <typename Handler>
    void notify(Handler&& handler);
    void onTimeout(TimerId id);
    void tick(TimerId id);
    void onMultiLineEdited(ControlId id);
    void showEditMenu(ControlId id, const QPoint& at);
    // A close asked for by the user: the window may keep itself open.
    void requestClose(int result);
    void onChildFinished(int result);

    QtWindowSystem& m_system;
    DialogWindow& m_window;
    DialogMetrics m_metrics;
    QWidget* m_host = this;
    std::map<ControlId, Control> m_controls;
    std::map<TimerId, QTimer*> m_timers;
    std::set<TimerId> m_triggered;  // ticks asked for, to come when the event loop is free
    std::set<ControlId> m_toggledWithoutClick;  // options toggled, their click not come yet
    QMenu* m_systemMenu = nullptr;
    QMenu* m_contextMenu = nullptr;
    std::map<int, QAction*> m_contextActions;  // by command; owned by the menu
    int m_suppressed = 0;
    int m_settingFromCode = 0;  // widget signals raised by our own writes are not the user's
    bool m_closed = false;
    bool m_editTookEnter = false;
    InputHold m_inputHold{*this};
    std::optional<Child> m_child;
    // Closed children, kept until the signal that told of their close has returned.
    std::vector<Child> m_closedChildren;
    // A close asked for while a child was open: asked of this window once the child has closed.
    std::optional<int> m_closeAfterChild;
};

}  // namespace veskator
