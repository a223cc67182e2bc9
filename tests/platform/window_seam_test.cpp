// The rules of the window seam, run over both window systems: window classes are tested on the
// headless double and run on real widgets, so the two must agree on every one of them.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QWidget>
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/control_values.h"
#include "platform/headless/headless_platform.h"
#include "platform/qt/qt_window_system.h"
#include "platform/test_windows.h"

namespace veskator {
namespace {

using testing::RecordingWindow;

namespace seam_ids {
inline constexpr ControlId kName = 3001;
inline constexpr ControlId kNotes = 3002;
inline constexpr ControlId kOption = 3003;
inline constexpr ControlId kButton = 3004;
inline constexpr ControlId kStatus = 3005;
inline constexpr ControlId kLevel = 3006;
}  // namespace seam_ids

// clang-format off
inline constexpr std::array<ControlTemplate, 6> kSeamControls{{
    edit(seam_ids::kName, 10, 10, 100, 12, "name").limit(5),
    multiLineEdit(seam_ids::kNotes, 10, 30, 100, 30, "notes").limit(10),
    option(seam_ids::kOption, "an option", 10, 70, 80, 10),
    button(seam_ids::kButton, "a button", 100, 70, 50, 14),
    label(seam_ids::kStatus, "status", 10, 90, 100, 8),
    slider(seam_ids::kLevel, 10, 100, 100, 15, "level"),
}};
// clang-format on
static_assert(idsAreUnique(kSeamControls));
static_assert(controlsAreNamed(kSeamControls));
inline constexpr DialogTemplate kSeamTemplate{910, "Seam", 200,          130, "MS Sans Serif",
                                              8,   128,    kSeamControls};

// The user of the headless double.
class HeadlessRig {
  public:
    static constexpr const char* kName = "Headless";
    Dialog& open(DialogWindow& window) {
        m_dialog = &m_system.open(window);
        return *m_dialog;
    }
    void type(ControlId id, std::string_view text) { m_dialog->typeText(id, text); }
    void click(ControlId id) { m_dialog->click(id); }
    void stepSlider(ControlId id) { m_dialog->moveSlider(id, m_dialog->sliderPosition(id) + 1); }
    std::vector<HeadlessDialog::MenuEntryShown> menu() { return m_dialog->contextMenu(); }
    bool choose(std::string_view text) { return m_dialog->chooseContextEntry(text); }

  private:
    HeadlessWindowSystem m_system;
    HeadlessDialog* m_dialog = nullptr;
};

// A user of real widgets, offscreen: keystrokes and mouse clicks.
class QtRig {
  public:
    static constexpr const char* kName = "Qt";
    Dialog& open(DialogWindow& window) {
        m_dialog = m_system.open(window);
        return *m_dialog;
    }
    void type(ControlId id, std::string_view text) {
        QTest::keyClicks(m_dialog->control(id),
                         QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    }
    void click(ControlId id) {
        QWidget* widget = m_dialog->control(id);
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    }
    void stepSlider(ControlId id) { QTest::keyClick(m_dialog->control(id), Qt::Key_Right); }
    // The menu a right click on the background opens, read as assistive technology reads it:
    // each item's accessible name and state.
    std::vector<HeadlessDialog::MenuEntryShown> menu() {
        std::vector<HeadlessDialog::MenuEntryShown> shown;
        QMenu* menu = openMenu();
        if (menu == nullptr) return shown;
        QAccessibleInterface* items = QAccessible::queryAccessibleInterface(menu);
        for (int i = 0; items != nullptr && i < items->childCount(); ++i) {
            QAccessibleInterface* item = items->child(i);
            if (item->role() == QAccessible::Separator) continue;
            const QAccessible::State state = item->state();
            shown.push_back({item->text(QAccessible::Name).toStdString(), state.checkable != 0,
                             state.checked != 0});
        }
        menu->hide();
        return shown;
    }
    bool choose(std::string_view text) {
        QMenu* menu = openMenu();
        if (menu == nullptr) return false;
        for (QAction* action : menu->actions()) {
            if (action->text().toStdString() != text) continue;
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
            return true;
        }
        menu->hide();
        return false;
    }

  private:
    QMenu* openMenu() {
        const QPoint background(m_dialog->width() - 3, 3);
        if (m_dialog->childAt(background) != nullptr) return nullptr;
        QContextMenuEvent event(QContextMenuEvent::Mouse, background,
                                m_dialog->mapToGlobal(background));
        QApplication::sendEvent(m_dialog.get(), &event);
        QMenu* menu = m_dialog->contextMenu();
        return menu != nullptr && menu->isVisible() ? menu : nullptr;
    }

    QtWindowSystem m_system;
    std::unique_ptr<QtDialog> m_dialog;
};

template <typename Rig>
class WindowSeamTest : public ::testing::Test {
  protected:
    int changes(ControlId id) const { return window.count("text:" + std::to_string(id)); }

    std::vector<std::string> log;
    RecordingWindow window{kSeamTemplate, "w", log};
    Rig rig;
    Dialog& dialog = rig.open(window);
};

struct RigName {
    template <typename Rig>
    static std::string GetName(int) {
        return Rig::kName;
    }
};
using Rigs = ::testing::Types<HeadlessRig, QtRig>;
TYPED_TEST_SUITE(WindowSeamTest, Rigs, RigName);

TYPED_TEST(WindowSeamTest, CodeSetsTextUpToTheFirstZeroByteForByteAndRaisesNothing) {
    Dialog& dialog = this->dialog;
    this->log.clear();
    for (const ControlId id : {seam_ids::kName, seam_ids::kNotes, seam_ids::kOption,
                               seam_ids::kButton, seam_ids::kStatus}) {
        SCOPED_TRACE(id);
        dialog.setText(id, std::string_view("ab\0cd", 5));
        EXPECT_EQ(dialog.text(id), "ab");
    }
    // What follows the zero is gone: typing goes on after what is shown.
    this->rig.type(seam_ids::kName, "x");
    EXPECT_EQ(dialog.text(seam_ids::kName), "abx");
    this->log.clear();

    // Line ends and high bytes come back as they were set, and a text longer than the limit is
    // shown whole, in either kind of edit.
    const std::string trace = "first\r\nsecond\rthird\n\xe9\xff";
    dialog.setText(seam_ids::kNotes, trace);
    EXPECT_EQ(dialog.text(seam_ids::kNotes), trace);
    dialog.setText(seam_ids::kName, "0123456789");
    EXPECT_EQ(dialog.text(seam_ids::kName), "0123456789");
    dialog.setChecked(seam_ids::kOption, true);
    dialog.setSliderRange(seam_ids::kLevel, 0, 10);
    dialog.setSliderPosition(seam_ids::kLevel, 4);

    // A show writes only what differs, and runs no handler either way.
    ControlValues values(kSeamTemplate);
    values.take(dialog);
    EXPECT_EQ(values.text(seam_ids::kNotes), trace);
    EXPECT_TRUE(values.isChecked(seam_ids::kOption));
    EXPECT_EQ(values.position(seam_ids::kLevel), 4);
    values.setText(seam_ids::kName, "new");
    values.setChecked(seam_ids::kOption, false);
    values.setPosition(seam_ids::kLevel, 7);
    values.show(dialog);
    EXPECT_EQ(dialog.text(seam_ids::kName), "new");
    EXPECT_EQ(dialog.text(seam_ids::kNotes), trace);
    EXPECT_FALSE(dialog.isChecked(seam_ids::kOption));
    EXPECT_EQ(dialog.sliderPosition(seam_ids::kLevel), 7);
    EXPECT_TRUE(this->log.empty()) << this->log.front();
}

TYPED_TEST(WindowSeamTest, LimitsBoundTypingOnly) {
    Dialog& dialog = this->dialog;
    this->log.clear();
    // Each keystroke let in is one change; those past the limit are refused without one.
    struct Typing {
        ControlId id;
        int limit;
    };
    for (const Typing t : {Typing{seam_ids::kName, 5}, Typing{seam_ids::kNotes, 10}}) {
        SCOPED_TRACE(t.id);
        EXPECT_EQ(dialog.charLimit(t.id), t.limit);
        this->rig.type(t.id, "abcdefghijklmnop");
        EXPECT_EQ(dialog.text(t.id), std::string("abcdefghijklmnop").substr(0, t.limit));
        EXPECT_EQ(this->changes(t.id), t.limit);

        // A lower limit leaves a text set from code whole, and the user cannot lengthen it.
        dialog.setText(t.id, "0123456789AB");
        dialog.setCharLimit(t.id, 3);
        EXPECT_EQ(dialog.charLimit(t.id), 3);
        EXPECT_EQ(dialog.text(t.id), "0123456789AB");
        this->rig.type(t.id, "z");
        EXPECT_EQ(dialog.text(t.id), "0123456789AB");
        EXPECT_EQ(this->changes(t.id), t.limit);

        // No limit.
        dialog.setText(t.id, "");
        dialog.setCharLimit(t.id, 0);
        this->rig.type(t.id, "abcdefghijklmnop");
        EXPECT_EQ(dialog.text(t.id), "abcdefghijklmnop");
    }

    // A show gives each edit the limit of its value, the template's until the window changes it.
    ControlValues values(kSeamTemplate);
    EXPECT_EQ(values.charLimit(seam_ids::kName), 5);
    values.setCharLimit(seam_ids::kNotes, 4);
    values.setText(seam_ids::kName, "");
    values.setText(seam_ids::kNotes, "");
    values.show(dialog);
    EXPECT_EQ(dialog.charLimit(seam_ids::kName), 5);
    EXPECT_EQ(dialog.charLimit(seam_ids::kNotes), 4);
    this->rig.type(seam_ids::kName, "abcdefgh");
    this->rig.type(seam_ids::kNotes, "abcdefgh");
    EXPECT_EQ(dialog.text(seam_ids::kName), "abcde");
    EXPECT_EQ(dialog.text(seam_ids::kNotes), "abcd");
}

TYPED_TEST(WindowSeamTest, DisabledControlsTakeNoUserInputButCodeStillSetsThem) {
    Dialog& dialog = this->dialog;
    dialog.setSliderRange(seam_ids::kLevel, 0, 10);
    for (const ControlId id : {seam_ids::kName, seam_ids::kNotes, seam_ids::kOption,
                               seam_ids::kButton, seam_ids::kLevel})
        dialog.setEnabled(id, false);
    this->log.clear();

    this->rig.type(seam_ids::kName, "ab");
    this->rig.type(seam_ids::kNotes, "ab");
    this->rig.click(seam_ids::kOption);
    this->rig.click(seam_ids::kButton);
    this->rig.stepSlider(seam_ids::kLevel);
    EXPECT_TRUE(this->log.empty()) << this->log.front();
    EXPECT_EQ(dialog.text(seam_ids::kName), "");
    EXPECT_EQ(dialog.text(seam_ids::kNotes), "");
    EXPECT_FALSE(dialog.isChecked(seam_ids::kOption));
    EXPECT_EQ(dialog.sliderPosition(seam_ids::kLevel), 0);

    EXPECT_FALSE(dialog.isEnabled(seam_ids::kName));
    dialog.setText(seam_ids::kName, "set");
    dialog.setChecked(seam_ids::kOption, true);
    EXPECT_EQ(dialog.text(seam_ids::kName), "set");
    EXPECT_TRUE(dialog.isChecked(seam_ids::kOption));

    for (const ControlId id : {seam_ids::kName, seam_ids::kNotes, seam_ids::kOption,
                               seam_ids::kButton, seam_ids::kLevel})
        dialog.setEnabled(id, true);
    EXPECT_TRUE(dialog.isEnabled(seam_ids::kName));
    this->rig.type(seam_ids::kName, "x");
    this->rig.type(seam_ids::kNotes, "ab");
    this->rig.click(seam_ids::kOption);
    this->rig.click(seam_ids::kButton);
    this->rig.stepSlider(seam_ids::kLevel);
    EXPECT_EQ(dialog.text(seam_ids::kName), "setx");
    EXPECT_EQ(dialog.text(seam_ids::kNotes), "ab");
    EXPECT_EQ(dialog.sliderPosition(seam_ids::kLevel), 1);
    EXPECT_EQ(this->log,
              (std::vector<std::string>{"w.text:3001", "w.text:3002", "w.text:3002", "w.click:3003",
                                        "w.click:3004", "w.slider:3006"}));
}

// A window's own right-click menu: its entries in order with the marks the window gives, each
// raising its command once, none while notifications are suppressed.
TYPED_TEST(WindowSeamTest, ContextMenuEntriesShowTheWindowsMarksAndRaiseTheirCommands) {
    using Shown = HeadlessDialog::MenuEntryShown;
    RecordingWindow window{kSeamTemplate, "m", this->log};
    window.menuEntries = {{7, "Check after writing", true}, {9, "Do it now", false}};
    window.checked = {7};
    Dialog& dialog = this->rig.open(window);
    this->log.clear();
    EXPECT_EQ(this->rig.menu(), (std::vector<Shown>{{"Check after writing", true, true},
                                                    {"Do it now", false, false}}));

    EXPECT_TRUE(this->rig.choose("Check after writing"));
    EXPECT_EQ(this->rig.menu().front(), (Shown{"Check after writing", true, false}));
    EXPECT_TRUE(this->rig.choose("Do it now"));
    EXPECT_FALSE(this->rig.choose("Not there"));
    {
        NotificationBlocker quiet(dialog);
        EXPECT_TRUE(this->rig.choose("Check after writing"));
    }
    EXPECT_EQ(this->log, (std::vector<std::string>{"m.context:7", "m.context:9"}));
    // The window changed its mark itself: the menu shows it the next time it opens.
    window.checked = {7};
    EXPECT_TRUE(this->rig.menu().front().checked);

    // A window without entries has no menu of its own.
    RecordingWindow plain{kSeamTemplate, "p", this->log};
    this->rig.open(plain);
    EXPECT_TRUE(this->rig.menu().empty());
}

}  // namespace
}  // namespace veskator
