#include "platform/qt/qt_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <climits>
#include <stdexcept>

#include "platform/qt/app_icon.h"
#include "platform/qt/qt_window_system.h"
#include "platform/qt/user_input.h"
#include "platform/qt/wrapping_buttons.h"

namespace veskator {

namespace {

// Results of the dialog manager's own Enter and Escape handling.
constexpr int kOkResult = 1;
constexpr int kNoLineEditLimit = 32767;

QString toQt(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toBytes(const QString& text) { return text.toLatin1().toStdString(); }

// A text control holds its text up to the first zero byte.
std::string_view untilZero(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

// A line edit's maximum changes without moving the caret or dropping the selection: Qt's own
// setMaxLength sets the text again, which puts the caret at the end.
void setMaxLengthKeepingCaret(QLineEdit& edit, int maximum) {
    if (edit.maxLength() == maximum) return;
    const int caret = edit.cursorPosition();
    const int start = edit.selectionStart();
    const int length = static_cast<int>(edit.selectedText().size());
    const bool caretAtStart = start >= 0 && caret == start;
    edit.setMaxLength(maximum);
    if (start >= 0) {
        // The caret stays at the end of the selection it stood at.
        edit.setSelection(caretAtStart ? start + length : start, caretAtStart ? -length : length);
    } else {
        edit.setCursorPosition(caret);
    }
}

// Line ends as a plain-text widget stores them.
QString displayForm(std::string_view bytes) {
    QString text = toQt(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// What a one-line edit lets the user type: characters of one byte each (the controls hold bytes),
// from the allowed set when there is one. A key or a paste that brings any other is refused whole;
// Qt then raises inputRejected. A text shown from code may hold others: the user can still shorten
// it, as long as no edit adds one.
class CharacterValidator final : public QValidator {
  public:
    explicit CharacterValidator(QObject* parent) : QValidator(parent) {}
    void setAllowed(std::string_view characters) {
        m_allowed = toQt(characters);
        m_foreign = 0;
    }
    // The text set from code: what it holds of other characters is taken as it is.
    void shown(const QString& text) { m_foreign = foreign(text); }
    State validate(QString& input, int& /*position*/) const override {
        const qsizetype count = foreign(input);
        if (count > m_foreign) return Invalid;
        m_foreign = count;
        return Acceptable;
    }

  private:
    qsizetype foreign(const QString& text) const {
        return std::count_if(text.begin(), text.end(), [this](QChar c) {
            return c.unicode() > 0xff || (!m_allowed.isEmpty() && !m_allowed.contains(c));
        });
    }

    QString m_allowed;
    mutable qsizetype m_foreign = 0;
};

// A row that says it stays last keeps below the others, in either order of a sort.
constexpr int kLastRowRole = Qt::UserRole + 1;

class TableItem final : public QTreeWidgetItem {
  public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const bool last = data(0, kLastRowRole).toBool();
        const bool otherLast = other.data(0, kLastRowRole).toBool();
        if (last != otherLast) {
            const bool ascending =
                treeWidget()->header()->sortIndicatorOrder() == Qt::AscendingOrder;
            return ascending ? otherLast : last;
        }
        return QTreeWidgetItem::operator<(other);
    }
};

// Ctrl+C copies the selected rows whole, as tab-separated lines, not the current cell alone.
class CopyingTable final : public QTreeWidget {
  public:
    using QTreeWidget::QTreeWidget;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!event->matches(QKeySequence::Copy)) return QTreeWidget::keyPressEvent(event);
        QString text;
        for (QTreeWidgetItemIterator it(this); *it != nullptr; ++it) {
            if (!(*it)->isSelected()) continue;
            QStringList cells;
            for (int column = 0; column < columnCount(); ++column) cells << (*it)->text(column);
            text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
        }
        QGuiApplication::clipboard()->setText(text);
        event->accept();
    }
};

void addTableRows(QTreeWidgetItem* parent, QTreeWidget* tree, const std::vector<TableRow>& rows) {
    for (const TableRow& row : rows) {
        auto* item = parent != nullptr ? new TableItem(parent) : new TableItem(tree);
        for (std::size_t i = 0; i < row.cells.size(); ++i) {
            item->setText(static_cast<int>(i), toQt(row.cells[i]));
        }
        item->setData(0, kLastRowRole, row.last);
        addTableRows(item, tree, row.children);
        item->setExpanded(row.open);
        // A heading of one cell (a group, a count) reads across the whole row.
        if (row.cells.size() == 1) item->setFirstColumnSpanned(true);
    }
}

// Each column as wide as its cells and heading, the first at most two fifths of the table and
// the others sharing what is left; headings that span the row do not widen a column.
void fitColumns(QTreeWidget& tree) {
    const QFontMetrics metrics(tree.font());
    const int columns = tree.columnCount();
    if (columns == 0) return;
    constexpr int kCellMargin = 12;
    std::vector<int> widths(static_cast<std::size_t>(columns), 0);
    for (int c = 0; c < columns; ++c) {
        widths[static_cast<std::size_t>(c)] =
            metrics.horizontalAdvance(tree.headerItem()->text(c)) + 2 * kCellMargin;
    }
    for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it) {
        if ((*it)->isFirstColumnSpanned()) continue;
        int depth = 1;
        for (const QTreeWidgetItem* p = (*it)->parent(); p != nullptr; p = p->parent()) ++depth;
        for (int c = 0; c < columns; ++c) {
            const int indent = c == 0 ? depth * tree.indentation() : 0;
            int& width = widths[static_cast<std::size_t>(c)];
            width =
                std::max(width, metrics.horizontalAdvance((*it)->text(c)) + kCellMargin + indent);
        }
    }
    const int room = tree.width() - 2 * tree.frameWidth() -
                     tree.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int first = std::min(widths[0], room * 2 / 5);
    tree.setColumnWidth(0, first);
    const int share = columns > 1 ? (room - first) / (columns - 1) : room;
    for (int c = 1; c < columns; ++c) {
        tree.setColumnWidth(c, std::min(widths[static_cast<std::size_t>(c)], share));
    }
}

CharacterValidator& validatorOf(QWidget* edit) {
    return *edit->findChild<CharacterValidator*>(QString(), Qt::FindDirectChildrenOnly);
}

}  // namespace

QtDialog::QtDialog(QtWindowSystem& system, DialogWindow& window, const QFont& font,
                   const DialogMetrics& metrics, const std::vector<SystemMenuEntry>& menuEntries,
                   QWidget* parent, QSize room)
    : QDialog(parent), m_system(system), m_window(window), m_metrics(metrics) {
    setFont(font);
    build(menuEntries, room);
}

void QtDialog::build(const std::vector<SystemMenuEntry>& menuEntries, QSize room) {
    const DialogTemplate& layout = m_window.dialogTemplate();
    Qt::WindowFlags flags = Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
    // A window without an owner has a task-bar entry and a minimise box of its own.
    flags |= parentWidget() == nullptr ? (Qt::Window | Qt::WindowMinimizeButtonHint) : Qt::Dialog;
    setWindowFlags(flags);
    setWindowTitle(toQt(layout.caption));
    setWindowIcon(iconForResource(layout.iconResource));
    const QSize full = m_metrics.toPixels(layout);
    if (room.isValid() && (full.width() > room.width() || full.height() > room.height())) {
        // Larger than the screen: the controls scroll inside a window the screen can hold.
        auto* area = new QScrollArea(this);
        area->setObjectName(QStringLiteral("scrollArea"));
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(false);
        m_host = new QWidget;
        m_host->setFixedSize(full);
        area->setWidget(m_host);
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->addWidget(area);
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const QSize most = full + QSize(bar, bar);
        setMaximumSize(most);
        resize(most.boundedTo(room));
    } else {
        setFixedSize(full);
    }

    QWidget* previous = nullptr;
    std::vector<QWidget*> frames;
    for (const ControlTemplate& c : layout.controls) {
        QWidget* widget = makeWidget(c);
        widget->setGeometry(m_metrics.toPixels(c));
        widget->setObjectName(QString::number(c.id));
        widget->setAccessibleDescription(QString::number(c.id));
        const bool named = c.kind == ControlKind::Edit || c.kind == ControlKind::MultiLineEdit ||
                           c.kind == ControlKind::Slider || c.kind == ControlKind::Progress ||
                           c.kind == ControlKind::Table || c.kind == ControlKind::DropDown;
        widget->setAccessibleName(toQt(named ? c.accessibleName : c.text));
        if (c.kind == ControlKind::GroupFrame) frames.push_back(widget);
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previous != nullptr) QWidget::setTabOrder(previous, widget);
            previous = widget;
        }
        if (c.id != kStaticId) {
            Control control;
            control.kind = c.kind;
            control.widget = widget;
            control.charLimit = c.charLimit;
            m_controls[c.id] = control;
        }
    }
    // Frames are drawn behind the controls they surround, whatever their template place.
    for (QWidget* frame : frames) frame->lower();

    if (!menuEntries.empty()) {
        m_systemMenu = new QMenu(this);
        m_systemMenu->setObjectName(QStringLiteral("systemMenu"));
        for (const SystemMenuEntry& entry : menuEntries) {
            QAction* action = m_systemMenu->addAction(toQt(entry.text));
            const int command = entry.command;
            connect(action, &QAction::triggered, this, [this, command] {
                notify([this, command] { m_window.onSystemCommand(command); });
            });
        }
    }
    buildContextMenu();
}

void QtDialog::buildContextMenu() {
    const auto entries = m_window.contextMenuEntries();
    if (entries.empty()) return;
    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("contextMenu"));
    for (const ContextMenuEntry& entry : entries) {
        // A menu item's accessible name is its action's text.
        QAction* action = m_contextMenu->addAction(toQt(entry.text));
        action->setObjectName(QStringLiteral("context%1").arg(entry.command));
        action->setCheckable(entry.checkable);
        const int command = entry.command;
        m_contextActions[command] = action;
        connect(action, &QAction::triggered, this, [this, command] {
            notify([this, command] { m_window.onContextCommand(command); });
        });
    }
    if (m_systemMenu != nullptr) {
        m_contextMenu->addSeparator();
        m_contextMenu->addActions(m_systemMenu->actions());
    }
}

QWidget* QtDialog::makeWidget(const ControlTemplate& c) {
    const ControlId id = c.id;
    switch (c.kind) {
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(m_host);
            // Opaque: each blink of the caret repaints the edit alone, not the frame and the
            // dialog behind it, which is most of what a window at rest costs.
            edit->setAutoFillBackground(true);
            edit->setMaxLength(c.charLimit > 0 ? c.charLimit : kNoLineEditLimit);
            auto* validator = new CharacterValidator(edit);
            edit->setValidator(validator);
            if (c.masked) edit->setEchoMode(QLineEdit::Password);
            connect(edit, &QWidget::customContextMenuRequested, this,
                    [this, id](const QPoint& at) { showEditMenu(id, at); });
            connect(edit, &QLineEdit::inputRejected, this, [this, id] {
                if (m_settingFromCode > 0) return;
                notify([this, id] { m_window.onInputRefused(id); });
            });
            // textEdited: user changes only, one per keystroke.
            connect(edit, &QLineEdit::returnPressed, this, [this, id] {
                // The key goes on to the dialog, which must not take it for its own Enter.
                m_editTookEnter = true;
                QTimer::singleShot(0, this, [this] { m_editTookEnter = false; });
                notify([this, id] { m_window.onEditEnter(id); });
            });
            connect(edit, &QLineEdit::textEdited, this, [this, id, edit] {
                // A longer text shown from code may shrink but never grow past the limit.
                const int limit = at(id).charLimit;
                if (limit > 0) {
                    setMaxLengthKeepingCaret(*edit, std::max<int>(limit, edit->text().size()));
                }
                notify([this, id] { m_window.onTextChanged(id); });
            });
            return edit;
        }
        case ControlKind::MultiLineEdit: {
            auto* edit = new QPlainTextEdit(m_host);
            edit->setTabChangesFocus(true);
            connect(edit, &QPlainTextEdit::textChanged, this,
                    [this, id] { onMultiLineEdited(id); });
            return edit;
        }
        case ControlKind::PushButton: {
            auto* button = new WrappingPushButton(toQt(c.text), m_host);
            connect(button, &QAbstractButton::clicked, this,
                    [this, id] { notify([this, id] { m_window.onClicked(id); }); });
            return button;
        }
        case ControlKind::Option: {
            auto* option = new WrappingOptionButton(toQt(c.text), m_host);
            connect(option, &QAbstractButton::clicked, this, [this, id] {
                m_toggledWithoutClick.erase(id);
                notify([this, id] { m_window.onClicked(id); });
            });
            // Assistive technology toggles a check box without a click: that is a click too. A
            // click toggles first, so a toggle counts only when no click follows it.
            connect(option, &QAbstractButton::toggled, this, [this, id] {
                if (m_settingFromCode > 0 || !m_toggledWithoutClick.insert(id).second) return;
                QTimer::singleShot(0, this, [this, id] {
                    if (m_toggledWithoutClick.erase(id) > 0)
                        notify([this, id] { m_window.onClicked(id); });
                });
            });
            return option;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(toQt(c.text), m_host);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            // Static text takes no clicks: they reach whatever lies below it.
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
            return label;
        }
        case ControlKind::GroupFrame: {
            auto* frame = new QGroupBox(toQt(c.text), m_host);
            frame->setAttribute(Qt::WA_TransparentForMouseEvents);
            frame->setFocusPolicy(Qt::NoFocus);
            return frame;
        }
        case ControlKind::Progress: {
            auto* bar = new QProgressBar(m_host);
            bar->setRange(0, 1);
            bar->setValue(0);
            bar->setTextVisible(true);
            bar->setFormat(QString());
            bar->setFocusPolicy(Qt::NoFocus);
            return bar;
        }
        case ControlKind::Table: {
            auto* tree = new CopyingTable(m_host);
            tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
            tree->setSelectionBehavior(QAbstractItemView::SelectRows);
            tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
            tree->setAllColumnsShowFocus(true);
            tree->setUniformRowHeights(true);
            // Shown in the window's order until the user sorts by a column.
            tree->header()->setSortIndicator(-1, Qt::AscendingOrder);
            tree->setSortingEnabled(true);
            return tree;
        }
        case ControlKind::DropDown: {
            auto* button = new QToolButton(m_host);
            button->setArrowType(Qt::DownArrow);
            button->setPopupMode(QToolButton::InstantPopup);
            button->setFocusPolicy(Qt::StrongFocus);
            auto* menu = new QMenu(button);
            menu->setObjectName(QStringLiteral("choices"));
            button->setMenu(menu);
            return button;
        }
        case ControlKind::Slider: {
            auto* slider = new QSlider(Qt::Horizontal, m_host);
            connect(slider, &QSlider::valueChanged, this, [this, id] {
                if (m_settingFromCode > 0) return;
                notify([this, id] { m_window.onSliderMoved(id); });
            });
            return slider;
        }
    }
    return new QWidget(m_host);
}

QtDialog::Control& QtDialog::at(ControlId id) {
    auto it = m_controls.find(id);
    // An id outside the template is a programming error, as in the headless double.
    if (it == m_controls.end()) throw std::out_of_range("no control " + std::to_string(id));
    return it->second;
}

const QtDialog::Control& QtDialog::at(ControlId id) const {
    return const_cast<QtDialog*>(this)->at(id);
}

QWidget* QtDialog::control(ControlId id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second.widget;
}

template <typename Handler>
void QtDialog::notify(Handler&& handler) {
    if (m_suppressed > 0 || m_closed) return;
    handler();
}

std::string QtDialog::text(ControlId id) const {
    const Control& c = at(id);
    switch (c.kind) {
        case ControlKind::Edit:
            return toBytes(static_cast<QLineEdit*>(c.widget)->text());
        case ControlKind::MultiLineEdit: {
            const QString shown = static_cast<QPlainTextEdit*>(c.widget)->toPlainText();
            return shown == c.shown ? c.raw : toBytes(shown);
        }
        case ControlKind::PushButton:
        case ControlKind::Option:
            return toBytes(static_cast<QAbstractButton*>(c.widget)->text());
        case ControlKind::Label:
            return toBytes(static_cast<QLabel*>(c.widget)->text());
        case ControlKind::Progress:
            return toBytes(static_cast<QProgressBar*>(c.widget)->format());
        case ControlKind::Table:
            return tableText(c.table.rows);
        default:
            return {};
    }
}

void QtDialog::setTable(ControlId id, const TableContent& content) {
    Control& c = at(id);
    if (c.kind != ControlKind::Table) return;
    c.table = content;
    auto* tree = static_cast<QTreeWidget*>(c.widget);
    ++m_settingFromCode;
    tree->setSortingEnabled(false);
    tree->clear();
    QStringList headings;
    for (const std::string& column : content.columns) headings << toQt(column);
    tree->setColumnCount(static_cast<int>(headings.size()));
    tree->setHeaderLabels(headings);
    addTableRows(nullptr, tree, content.rows);
    fitColumns(*tree);
    tree->setSortingEnabled(true);
    --m_settingFromCode;
}

void QtDialog::setChoices(ControlId id, std::span<const std::string> choices) {
    Control& c = at(id);
    c.choices.assign(choices.begin(), choices.end());
    if (c.kind == ControlKind::Edit) {
        c.widget->setContextMenuPolicy(choices.empty() ? Qt::DefaultContextMenu
                                                       : Qt::CustomContextMenu);
        return;
    }
    if (c.kind != ControlKind::DropDown) return;
    QMenu* menu = static_cast<QToolButton*>(c.widget)->menu();
    menu->clear();
    for (std::size_t i = 0; i < choices.size(); ++i) {
        QAction* action = menu->addAction(toQt(choices[i]));
        action->setObjectName(QStringLiteral("choice%1").arg(i));
        const int index = static_cast<int>(i);
        connect(action, &QAction::triggered, this,
                [this, id, index] { notify([this, id, index] { m_window.onChosen(id, index); }); });
    }
    if (choices.empty()) menu->addAction(QStringLiteral("(none yet)"))->setEnabled(false);
}

// An edit with choices: they stand above the edit's own entries (undo, cut, copy, paste).
void QtDialog::showEditMenu(ControlId id, const QPoint& at) {
    auto* edit = static_cast<QLineEdit*>(this->at(id).widget);
    QMenu* menu = edit->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("choices"));
    QAction* first = menu->actions().value(0);
    const std::vector<std::string>& choices = this->at(id).choices;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        auto* action = new QAction(toQt(choices[i]), menu);
        action->setObjectName(QStringLiteral("choice%1").arg(i));
        const int index = static_cast<int>(i);
        connect(action, &QAction::triggered, this,
                [this, id, index] { notify([this, id, index] { m_window.onChosen(id, index); }); });
        menu->insertAction(first, action);
    }
    menu->insertSeparator(first);
    menu->popup(edit->mapToGlobal(at));
}

void QtDialog::setText(ControlId id, std::string_view text) {
    Control& c = at(id);
    ++m_settingFromCode;
    switch (c.kind) {
        case ControlKind::Edit: {
            // setText raises no textEdited. The limit bounds what the user types: a longer text
            // set from code (a device value) is shown whole.
            auto* edit = static_cast<QLineEdit*>(c.widget);
            const QString shown = toQt(untilZero(text));
            if (c.charLimit > 0) {
                setMaxLengthKeepingCaret(*edit, std::max<int>(c.charLimit, shown.size()));
            }
            validatorOf(edit).shown(shown);
            edit->setText(shown);
            break;
        }
        case ControlKind::MultiLineEdit: {
            // Shown whole, as a one-line edit shows a longer text.
            const std::string_view bytes = untilZero(text);
            auto* edit = static_cast<QPlainTextEdit*>(c.widget);
            edit->setPlainText(displayForm(bytes));
            c.raw = std::string(bytes);
            c.shown = edit->toPlainText();
            c.accepted = c.shown;
            break;
        }
        case ControlKind::PushButton:
        case ControlKind::Option:
            static_cast<QAbstractButton*>(c.widget)->setText(toQt(untilZero(text)));
            c.widget->setAccessibleName(toQt(untilZero(text)));
            break;
        case ControlKind::Label:
            // A label with an id of its own is a status text the window updates.
            static_cast<QLabel*>(c.widget)->setText(toQt(untilZero(text)));
            c.widget->setAccessibleName(toQt(untilZero(text)));
            break;
        case ControlKind::Progress:
            // The bar keeps its name; what it counts is its text, read out with its value.
            static_cast<QProgressBar*>(c.widget)->setFormat(toQt(untilZero(text)));
            break;
        default:
            break;
    }
    --m_settingFromCode;
}

void QtDialog::onMultiLineEdited(ControlId id) {
    if (m_settingFromCode > 0) return;
    Control& c = at(id);
    auto* edit = static_cast<QPlainTextEdit*>(c.widget);
    QString content = edit->toPlainText();
    // A longer text shown from code may shrink but never grow past the limit. What does not fit
    // is the end of what was just typed or pasted: it lies just before the caret.
    const qsizetype allowed = std::max<qsizetype>(c.charLimit, c.accepted.size());
    if (c.charLimit > 0 && content.size() > allowed) {
        const qsizetype surplus = content.size() - allowed;
        const qsizetype caret = std::max<qsizetype>(edit->textCursor().position() - surplus, 0);
        content.remove(caret, surplus);
        ++m_settingFromCode;
        edit->setPlainText(content);
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(static_cast<int>(caret));
        edit->setTextCursor(cursor);
        --m_settingFromCode;
    }
    if (content == c.accepted) return;  // a keystroke refused whole changes nothing
    c.accepted = content;
    notify([this, id] { m_window.onTextChanged(id); });
}

bool QtDialog::isChecked(ControlId id) const {
    const Control& c = at(id);
    if (c.kind != ControlKind::Option) return false;
    return static_cast<QAbstractButton*>(c.widget)->isChecked();
}

void QtDialog::setChecked(ControlId id, bool on) {
    Control& c = at(id);
    if (c.kind != ControlKind::Option) return;
    ++m_settingFromCode;
    static_cast<QAbstractButton*>(c.widget)->setChecked(on);  // raises no clicked
    --m_settingFromCode;
}

void QtDialog::setSliderRange(ControlId id, int low, int high) {
    Control& c = at(id);
    ++m_settingFromCode;
    if (c.kind == ControlKind::Slider) {
        static_cast<QSlider*>(c.widget)->setRange(low, std::max(low, high));
    } else if (c.kind == ControlKind::Progress) {
        static_cast<QProgressBar*>(c.widget)->setRange(low, std::max(low, high));
    }
    --m_settingFromCode;
}

int QtDialog::sliderPosition(ControlId id) const {
    const Control& c = at(id);
    if (c.kind == ControlKind::Slider) return static_cast<QSlider*>(c.widget)->value();
    if (c.kind == ControlKind::Progress) return static_cast<QProgressBar*>(c.widget)->value();
    return 0;
}

void QtDialog::setSliderPosition(ControlId id, int position) {
    Control& c = at(id);
    ++m_settingFromCode;
    if (c.kind == ControlKind::Slider) {
        static_cast<QSlider*>(c.widget)->setValue(position);
    } else if (c.kind == ControlKind::Progress) {
        auto* bar = static_cast<QProgressBar*>(c.widget);
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    }
    --m_settingFromCode;
}

void QtDialog::setCharLimit(ControlId id, int limit) {
    Control& c = at(id);
    c.charLimit = std::max(limit, 0);
    if (c.kind == ControlKind::Edit) {
        // A maximum below the text would cut it; the user may still shorten it.
        auto* edit = static_cast<QLineEdit*>(c.widget);
        ++m_settingFromCode;
        setMaxLengthKeepingCaret(*edit, c.charLimit > 0
                                            ? std::max<int>(c.charLimit, edit->text().size())
                                            : kNoLineEditLimit);
        --m_settingFromCode;
    }
}

int QtDialog::charLimit(ControlId id) const { return at(id).charLimit; }

void QtDialog::setEnabled(ControlId id, bool enabled) { at(id).widget->setEnabled(enabled); }

bool QtDialog::isEnabled(ControlId id) const { return at(id).widget->isEnabledTo(this); }

void QtDialog::setAllowedCharacters(ControlId id, std::string_view characters) {
    Control& c = at(id);
    if (c.kind != ControlKind::Edit) return;
    CharacterValidator& validator = validatorOf(c.widget);
    validator.setAllowed(characters);
    validator.shown(static_cast<QLineEdit*>(c.widget)->text());
}

void QtDialog::setPasswordMode(ControlId id, bool masked) {
    Control& c = at(id);
    if (c.kind != ControlKind::Edit) return;
    static_cast<QLineEdit*>(c.widget)->setEchoMode(masked ? QLineEdit::Password
                                                          : QLineEdit::Normal);
}

void QtDialog::suppressNotifications(bool on) {
    m_suppressed = std::max(0, m_suppressed + (on ? 1 : -1));
}

void QtDialog::armTimer(TimerId id, std::chrono::milliseconds period) {
    QTimer*& timer = m_timers[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] { onTimeout(id); });
    }
    // start() on a running timer restarts it: the new period replaces the old one.
    timer->start(std::max(period, std::chrono::milliseconds{1}));
}

void QtDialog::holdInput(bool held) { m_inputHold.hold(held); }

void QtDialog::InputHold::hold(bool held) {
    if (held == m_held) return;
    m_held = held;
    if (held) {
        qApp->installEventFilter(this);
        return;
    }
    qApp->removeEventFilter(this);
    // Posted, so that they come after this handler and before anything the user does next.
    for (auto& [target, event] : m_events) {
        if (!target.isNull()) QCoreApplication::postEvent(target, event.release());
    }
    m_events.clear();
}

bool QtDialog::InputHold::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // A drag (of a slider) goes on in order; a hovering mouse is nothing to keep.
    const bool drag =
        type == QEvent::MouseMove && static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton;
    if (!isUserAction(type) && type != QEvent::InputMethod && !drag) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != &m_dialog) return false;
    m_events.emplace_back(QPointer<QObject>(watched), std::unique_ptr<QEvent>(event->clone()));
    return true;
}

void QtDialog::killTimer(TimerId id) {
    auto it = m_timers.find(id);
    if (it != m_timers.end()) it->second->stop();
}

void QtDialog::triggerTimer(TimerId id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end() || !it->second->isActive() || m_closed) return;
    // Once, however often it is asked for before the event loop comes round.
    if (!m_triggered.insert(id).second) return;
    QTimer::singleShot(0, this, [this, id] {
        m_triggered.erase(id);
        tick(id);
    });
}

std::optional<std::chrono::milliseconds> QtDialog::timerPeriod(TimerId id) const {
    auto it = m_timers.find(id);
    if (it == m_timers.end() || !it->second->isActive()) return std::nullopt;
    return it->second->intervalAsDuration();
}

void QtDialog::onTimeout(TimerId id) { tick(id); }

void QtDialog::tick(TimerId id) {
    if (m_closed) return;
    auto it = m_timers.find(id);
    if (it == m_timers.end() || !it->second->isActive()) return;
    m_window.onTimer(id);
}

// No loop of its own: the handler that opens the child returns, and its close comes from the
// event loop.
void QtDialog::openChild(std::unique_ptr<DialogWindow> child, std::function<void(int)> closed) {
    if (m_closed || m_child) return;
    std::unique_ptr<QtDialog> dialog = m_system.prepare(*child, this);
    if (dialog->isClosed()) {
        const int result = dialog->result();
        dialog.reset();
        child->onClosed();
        if (closed) closed(result);
        return;
    }
    QtDialog& shown = *dialog;
    m_child = Child{std::move(child), std::move(dialog), std::move(closed)};
    m_system.holdOpeners(true);
    connect(&shown, &QDialog::finished, this, &QtDialog::onChildFinished);
    shown.show();
    shown.raise();
    shown.activateWindow();
}

void QtDialog::onChildFinished(int result) {
    if (!m_child) return;
    m_system.holdOpeners(false);
    m_child->window->onClosed();
    std::function<void(int)> closed = std::move(m_child->closed);
    // The child's dialog is still raising the signal that brought us here.
    m_closedChildren.push_back(std::move(*m_child));
    m_child.reset();
    QTimer::singleShot(0, this, [this] { m_closedChildren.clear(); });
    if (closed && !m_closed) closed(result);
    if (m_closeAfterChild && !m_closed) {
        // The close asked for while the child was open: this window is asked now.
        const int close = *m_closeAfterChild;
        m_closeAfterChild.reset();
        requestClose(close);
    }
}

void QtDialog::close(int result) { done(result); }

void QtDialog::ask(std::string_view question, std::function<void(bool)> answered) {
    auto* box = new QMessageBox(QMessageBox::Question, windowTitle(), toQt(question),
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // No loop of its own: the handler that asks returns, and the answer comes from the event loop.
    connect(box, &QMessageBox::finished, this, [this, answered = std::move(answered)](int result) {
        if (!m_closed) answered(result == QMessageBox::Yes);
    });
    box->open();
}

void QtDialog::pickFile(std::string_view title, std::string_view folder,
                        std::span<const std::string> filters, FilePick mode,
                        std::function<void(std::string)> picked) {
    auto* box = new QFileDialog(this, toQt(title), toQt(folder));
    box->setObjectName(QStringLiteral("fileDialog"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Qt's own dialog, the same on every desktop, and one a test can reach.
    box->setOption(QFileDialog::DontUseNativeDialog);
    QStringList names;
    for (const std::string& filter : filters) names << toQt(filter);
    box->setNameFilters(names);
    if (mode == FilePick::Save) {
        box->setAcceptMode(QFileDialog::AcceptSave);
        box->setFileMode(QFileDialog::AnyFile);
        box->setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        box->setFileMode(QFileDialog::ExistingFile);
    }
    // The link keeps working while the technician looks for the file.
    connect(box, &QFileDialog::finished, this,
            [this, box, from = toQt(folder), picked = std::move(picked)](int result) {
                if (m_closed || result != QDialog::Accepted || box->selectedFiles().isEmpty())
                    return;
                const QString path = box->selectedFiles().constFirst();
                const QString relative = QDir(from).relativeFilePath(path);
                picked(toBytes(relative.startsWith(QLatin1String("..")) ? path : relative));
            });
    box->open();
}

void QtDialog::requestClose(int result) {
    if (m_closed) return;
    if (m_child) {
        // The windows above close first, each as if asked; then this one is asked.
        m_closeAfterChild = result;
        m_child->dialog->requestClose(kCancelResult);
        return;
    }
    if (m_window.onCloseRequested()) done(result);
}

void QtDialog::done(int result) {
    if (!m_closed) {
        m_closed = true;
        for (auto& [id, timer] : m_timers) timer->stop();
        // A window closed from code takes the one it opened with it.
        if (m_child) m_child->dialog->close(kCancelResult);
    }
    QDialog::done(result);
}

// The close box and Escape end the dialog with the cancel result, if the window lets them.
void QtDialog::reject() { requestClose(kCancelResult); }

void QtDialog::contextMenuEvent(QContextMenuEvent* event) {
    // Qt cannot add entries to the window manager's menu, so the window's own entries open from
    // a right click on the dialog background.
    QMenu* menu = m_contextMenu != nullptr ? m_contextMenu : m_systemMenu;
    if (menu == nullptr || m_closed) {
        event->ignore();
        return;
    }
    if (menu == m_contextMenu) {
        // The marks are the window's, as they stand now: a handler may have changed them.
        for (const auto& [command, action] : m_contextActions) {
            if (action->isCheckable()) action->setChecked(m_window.contextEntryChecked(command));
        }
    }
    menu->popup(event->globalPos());
    event->accept();
}

void QtDialog::keyPressEvent(QKeyEvent* event) {
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // A one-line edit has had its Enter (returnPressed); it never closes the window.
        if (m_editTookEnter) {
            m_editTookEnter = false;
            event->accept();
            return;
        }
        // Enter anywhere else but on a push button (which clicks itself) asks to close the
        // dialog, as the dialog manager's default handling does.
        requestClose(kOkResult);
        return;
    }
    QDialog::keyPressEvent(event);
}

void QtDialog::closeEvent(QCloseEvent* event) {
    if (m_closed) {
        QDialog::closeEvent(event);
        return;
    }
    // The window decides; if it closes, done() has hidden it already.
    event->ignore();
    requestClose(kCancelResult);
}

}  // namespace veskator
