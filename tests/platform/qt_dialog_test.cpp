// Real widgets built from the templates, driven offscreen like a user would.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/control_values.h"
#include "platform/qt/qt_window_system.h"
#include "platform/qt/wrapping_buttons.h"
#include "platform/test_windows.h"
#include "resources/dialer_dialog_template.h"
#include "resources/main_dialog_template.h"
#include "resources/options_dialog_template.h"
#include "tests/support/qt_dialogs.h"

namespace veskator {
namespace {

using test_support::TextPlace;
using test_support::textPlace;

using testing::kProbeTemplate;
using testing::RecordingWindow;
namespace probe = testing::probe_ids;
namespace ids = main_ids;

// Base units of 6 x 13 pixels: horizontal units are 1.5 px, vertical ones 1.625 px.
QRect expectedRect(const ControlTemplate& c) {
    const auto px = [](int units, double scale) {
        return static_cast<int>(std::lround(units * scale));
    };
    return QRect(px(c.x, 1.5), px(c.y, 1.625), px(c.width, 1.5), px(c.height, 1.625));
}

QString latin1(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

class QtDialogTest : public ::testing::Test {
  protected:
    QtDialogTest() {
        system.addSystemMenuEntry(kMainDialogResource, kAboutCommand, kAboutEntryText);
    }
    // At base units of 6 x 13 pixels, whatever the fonts installed.
    std::unique_ptr<QtDialog> open(DialogWindow& window) {
        return test_support::openWithBaseUnits(system, window, DialogBaseUnits{6, 13});
    }

    QtWindowSystem system;
    std::vector<std::string> log;
    RecordingWindow main{kMainDialogTemplate, "main", log};
    RecordingWindow probeWindow{kProbeTemplate, "probe", log};
};

TEST_F(QtDialogTest, MainTemplateBuildsEveryControlInPlace) {
    auto dialog = open(main);
    EXPECT_EQ(main.dialog(), dialog.get());
    EXPECT_EQ(dialog->size(), QSize(783, 562));  // 522 x 346 units
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_EQ(dialog->windowTitle(), latin1(kMainCaption));
    const QIcon icon = dialog->windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));

    // Hand-computed rounding: 63 * 1.5 = 94.5 -> 95, 47 * 1.625 = 76.375 -> 76.
    const auto* macLabel = dialog->findChild<QLabel*>();
    ASSERT_NE(macLabel, nullptr);
    EXPECT_EQ(macLabel->text(), "my MAC Address");
    EXPECT_EQ(macLabel->geometry(), QRect(38, 76, 95, 16));
    EXPECT_EQ(dialog->control(ids::kMacAddress)->geometry(), QRect(132, 73, 158, 24));

    const QList<QWidget*> children = dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (const ControlTemplate& c : kMainDialogTemplate.controls) {
        SCOPED_TRACE(std::to_string(c.id) + " " + std::string(c.text));
        QWidget* widget = nullptr;
        if (c.id != kStaticId) {
            widget = dialog->control(c.id);
        } else {
            for (QWidget* child : children) {
                if (child->accessibleName() == latin1(c.text) &&
                    child->geometry() == expectedRect(c))
                    widget = child;
            }
        }
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), dialog.get());
        EXPECT_EQ(widget->objectName(), QString::number(c.id));
        EXPECT_EQ(widget->accessibleDescription(), QString::number(c.id));
        EXPECT_EQ(widget->geometry(), expectedRect(c));
        switch (c.kind) {
            case ControlKind::Edit: {
                auto* edit = qobject_cast<QLineEdit*>(widget);
                ASSERT_NE(edit, nullptr);
                EXPECT_EQ(edit->accessibleName(), latin1(c.accessibleName));
                EXPECT_TRUE(edit->text().isEmpty());
                if (c.charLimit > 0) {
                    EXPECT_EQ(edit->maxLength(), c.charLimit);
                }
                break;
            }
            case ControlKind::MultiLineEdit:
                ASSERT_NE(qobject_cast<QPlainTextEdit*>(widget), nullptr);
                EXPECT_EQ(widget->accessibleName(), latin1(c.accessibleName));
                break;
            case ControlKind::PushButton: {
                auto* button = qobject_cast<QPushButton*>(widget);
                ASSERT_NE(button, nullptr);
                EXPECT_EQ(button->text(), latin1(c.text));
                EXPECT_EQ(button->accessibleName(), latin1(c.text));
                break;
            }
            case ControlKind::Option: {
                auto* option = qobject_cast<QRadioButton*>(widget);
                ASSERT_NE(option, nullptr);
                EXPECT_FALSE(option->autoExclusive());
                EXPECT_FALSE(option->isChecked());
                EXPECT_EQ(option->text(), latin1(c.text));
                EXPECT_EQ(option->accessibleName(), latin1(c.text));
                break;
            }
            case ControlKind::Label: {
                auto* label = qobject_cast<QLabel*>(widget);
                ASSERT_NE(label, nullptr);
                EXPECT_TRUE(label->wordWrap());
                EXPECT_EQ(label->text(), latin1(c.text));
                break;
            }
            case ControlKind::GroupFrame: {
                auto* frame = qobject_cast<QGroupBox*>(widget);
                ASSERT_NE(frame, nullptr);
                EXPECT_EQ(frame->title(), latin1(c.text));
                break;
            }
            case ControlKind::Slider:
                ADD_FAILURE() << "the main window has no slider";
                break;
            case ControlKind::Table:
                ADD_FAILURE() << "the main window has no table";
                break;
            case ControlKind::DropDown: {
                // Reached by Tab; Space opens its list, which the window fills.
                auto* button = qobject_cast<QToolButton*>(widget);
                ASSERT_NE(button, nullptr);
                EXPECT_EQ(button->accessibleName(), latin1(c.accessibleName));
                EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus);
                ASSERT_NE(button->menu(), nullptr);
                const std::array<std::string, 2> choices{"a:1", "b:2"};
                dialog->setChoices(c.id, choices);
                ASSERT_EQ(button->menu()->actions().size(), 2);
                EXPECT_EQ(button->menu()->actions()[1]->text(), "b:2");
                break;
            }
            case ControlKind::Progress: {
                // Filled from code only, through the slider calls and setText.
                auto* bar = qobject_cast<QProgressBar*>(widget);
                ASSERT_NE(bar, nullptr);
                EXPECT_EQ(bar->accessibleName(), latin1(c.accessibleName));
                EXPECT_EQ(bar->focusPolicy(), Qt::NoFocus);
                dialog->setSliderRange(c.id, 0, 9);
                dialog->setSliderPosition(c.id, 12);
                dialog->setText(c.id, "writing all blocks: step 9 of 9");
                EXPECT_EQ(dialog->sliderPosition(c.id), 9);
                EXPECT_EQ(dialog->text(c.id), "writing all blocks: step 9 of 9");
                EXPECT_EQ(bar->text(), "writing all blocks: step 9 of 9");
                break;
            }
        }
    }
}

TEST_F(QtDialogTest, TabOrderFollowsTemplateOrder) {
    auto dialog = open(main);
    QApplication::setActiveWindow(dialog.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));

    std::vector<ControlId> expected;
    for (const ControlTemplate& c : kMainDialogTemplate.controls) {
        if (c.kind != ControlKind::Label && c.kind != ControlKind::GroupFrame &&
            c.kind != ControlKind::Progress)
            expected.push_back(c.id);
    }
    dialog->control(expected.front())->setFocus(Qt::TabFocusReason);
    std::vector<ControlId> visited;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited.push_back(focus->objectName().toInt());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);
    // After the last control the chain wraps to the first.
    EXPECT_EQ(QApplication::focusWidget(), dialog->control(expected.front()));
}

TEST_F(QtDialogTest, UserActionsNotifyAndCodeChangesDoNot) {
    auto dialog = open(main);
    log.clear();

    QTest::keyClicks(dialog->control(ids::kServerPort1), "5001");
    EXPECT_EQ(main.count("text:1012"), 4);
    EXPECT_EQ(dialog->text(ids::kServerPort1), "5001");

    dialog->setText(ids::kServerPort1, "77");
    dialog->setChecked(ids::kTimeStamp, true);
    dialog->setText(ids::kTraceBox, "trace");
    EXPECT_EQ(log.size(), 4u);
    EXPECT_EQ(dialog->text(ids::kServerPort1), "77");
    EXPECT_TRUE(dialog->isChecked(ids::kTimeStamp));

    // A click switches an option on, and a second click leaves it on: the handler decides.
    QWidget* option = dialog->control(ids::kIncludeMac);
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(5, option->height() / 2));
    EXPECT_TRUE(dialog->isChecked(ids::kIncludeMac));
    // The wrapped label far from the indicator takes the click too.
    QTest::mouseClick(option, Qt::LeftButton, {},
                      QPoint(option->width() - 2, option->height() - 2));
    EXPECT_TRUE(dialog->isChecked(ids::kIncludeMac));
    QCoreApplication::processEvents();
    EXPECT_EQ(main.count("click:1011"), 2);
    // Assistive technology's toggle, which clicks nothing, is a click too; once.
    QAccessibleInterface* reached = QAccessible::queryAccessibleInterface(option);
    ASSERT_NE(reached, nullptr);
    reached->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QCoreApplication::processEvents();
    EXPECT_EQ(main.count("click:1011"), 3);
    // Options never switch each other.
    EXPECT_TRUE(dialog->isChecked(ids::kTimeStamp));

    QTest::mouseClick(dialog->control(ids::kStartGo), Qt::LeftButton);
    EXPECT_EQ(main.count("click:1064"), 1);

    // Typing into the multi-line trace box is a user change as well (a text set from code
    // leaves the caret at its start).
    QTest::keyClicks(dialog->control(ids::kTraceBox), "ab");
    EXPECT_EQ(main.count("text:1073"), 2);
    EXPECT_EQ(dialog->text(ids::kTraceBox), "abtrace");
}

TEST_F(QtDialogTest, SuppressionNestsAndShowRaisesNothing) {
    auto dialog = open(main);
    log.clear();
    dialog->suppressNotifications(true);
    dialog->suppressNotifications(true);
    QTest::keyClicks(dialog->control(ids::kReceiver1), "12");
    QTest::mouseClick(dialog->control(ids::kEmail), Qt::LeftButton);
    dialog->suppressNotifications(false);
    QTest::keyClick(dialog->control(ids::kReceiver1), '3');
    EXPECT_TRUE(log.empty());
    dialog->suppressNotifications(false);
    QTest::keyClick(dialog->control(ids::kReceiver1), '4');
    EXPECT_EQ(log, std::vector<std::string>{"main.text:1002"});

    // Take and show through the real controls.
    ControlValues values(kMainDialogTemplate);
    values.take(*dialog);
    EXPECT_EQ(values.text(ids::kReceiver1), "1234");
    EXPECT_TRUE(values.isChecked(ids::kEmail));
    values.setText(ids::kTargetPort, "5001");
    values.setChecked(ids::kEmail, false);
    values.show(*dialog);
    EXPECT_EQ(dialog->text(ids::kTargetPort), "5001");
    EXPECT_FALSE(dialog->isChecked(ids::kEmail));
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(QtDialogTest, TextIsBytesUpToTheFirstZero) {
    auto dialog = open(main);
    dialog->setText(ids::kServerIp1, std::string_view("ab\0cd", 5));
    EXPECT_EQ(dialog->text(ids::kServerIp1), "ab");
    const std::string high = "\xe9\x80\xff\x01";
    dialog->setText(ids::kMacAddress, high);
    EXPECT_EQ(dialog->text(ids::kMacAddress), high);
    dialog->setText(ids::kMessageWindow, "ok\r\n\t");
    EXPECT_EQ(dialog->text(ids::kMessageWindow), "ok\r\n\t");
    // A longer text set from code (a device value) is shown whole; the user can shorten it but
    // never type it longer, and a short text grows only to the limit.
    QWidget* data = dialog->control(ids::kProgrammingData);
    dialog->setText(ids::kProgrammingData, "0123456789abcdefghij");
    EXPECT_EQ(dialog->text(ids::kProgrammingData), "0123456789abcdefghij");
    QTest::keyClicks(data, "xyz");
    EXPECT_EQ(dialog->text(ids::kProgrammingData), "0123456789abcdefghij");
    QTest::keyClick(data, Qt::Key_Backspace);
    QTest::keyClicks(data, "xyz");
    EXPECT_EQ(dialog->text(ids::kProgrammingData), "0123456789abcdefghi");
    dialog->setText(ids::kProgrammingData, "01234");
    QTest::keyClicks(data, "56789abcdefghijklmn");
    EXPECT_EQ(dialog->text(ids::kProgrammingData), "0123456789abcde");
    // Line ends of the trace box come back as they were set, so a show leaves it alone.
    const std::string trace = "first\r\nsecond\rthird\n";
    dialog->setText(ids::kTraceBox, trace);
    EXPECT_EQ(dialog->text(ids::kTraceBox), trace);
    EXPECT_THROW(dialog->text(4242), std::out_of_range);
}

TEST_F(QtDialogTest, SliderPasswordAndLimits) {
    auto dialog = open(probeWindow);
    log.clear();
    dialog->setSliderRange(probe::kSlider, 0, 10);
    dialog->setSliderPosition(probe::kSlider, 4);
    EXPECT_EQ(dialog->sliderPosition(probe::kSlider), 4);
    dialog->setSliderPosition(probe::kSlider, 20);
    EXPECT_EQ(dialog->sliderPosition(probe::kSlider), 10);
    EXPECT_TRUE(log.empty());
    auto* slider = qobject_cast<QSlider*>(dialog->control(probe::kSlider));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->orientation(), Qt::Horizontal);
    EXPECT_EQ(slider->accessibleName(), "volume");
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(dialog->sliderPosition(probe::kSlider), 9);
    EXPECT_EQ(log, std::vector<std::string>{"probe.slider:2001"});

    auto* secret = qobject_cast<QLineEdit*>(dialog->control(probe::kSecret));
    ASSERT_NE(secret, nullptr);
    EXPECT_EQ(secret->echoMode(), QLineEdit::Password);
    QTest::keyClicks(secret, "0123456789");
    EXPECT_EQ(dialog->text(probe::kSecret), "01234567");
    dialog->setPasswordMode(probe::kSecret, false);
    EXPECT_EQ(secret->echoMode(), QLineEdit::Normal);
    dialog->setCharLimit(probe::kSecret, 0);
    QTest::keyClicks(secret, "89");
    EXPECT_EQ(dialog->text(probe::kSecret), "0123456789");

    QTest::keyClicks(dialog->control(probe::kNotes), "abcdefghijkl");
    EXPECT_EQ(dialog->text(probe::kNotes), "abcdefghij");
}

// Enter in a one-line edit is the edit's own; Enter elsewhere, Escape and the close box ask the
// window, which may keep itself open.
TEST_F(QtDialogTest, EnterEscapeAndTheCloseBoxAskTheWindowToClose) {
    auto first = open(probeWindow);
    QTest::keyClick(first->control(probe::kSecret), Qt::Key_Return);
    EXPECT_FALSE(first->isClosed());
    EXPECT_EQ(probeWindow.count("enter:" + std::to_string(probe::kSecret)), 1);
    EXPECT_EQ(probeWindow.count("closeRequest:0"), 0);

    probeWindow.allowClose = false;
    first->armTimer(1, std::chrono::milliseconds{10});
    QTest::keyClick(first->control(probe::kNotes), Qt::Key_Escape);
    QTest::keyClick(first.get(), Qt::Key_Return);
    first->QDialog::close();  // the close box
    EXPECT_EQ(probeWindow.count("closeRequest:0"), 3);
    EXPECT_FALSE(first->isClosed());
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->timerPeriod(1).has_value());

    probeWindow.allowClose = true;
    QTest::keyClick(first->control(probe::kNotes), Qt::Key_Escape);
    EXPECT_TRUE(first->isClosed());
    EXPECT_EQ(first->result(), 2);
    // A closed window's timers are gone.
    EXPECT_FALSE(first->timerPeriod(1).has_value());

    RecordingWindow other{kProbeTemplate, "other", log};
    auto second = open(other);
    second->QDialog::close();
    EXPECT_TRUE(second->isClosed());
    EXPECT_EQ(other.count("closeRequest:0"), 1);
}

TEST_F(QtDialogTest, AboutEntryOfTheBackgroundMenuRaisesItsSystemCommand) {
    auto dialog = system.open(main);
    log.clear();
    const QPoint background(dialog->width() - 3, 3);
    ASSERT_EQ(dialog->childAt(background), nullptr);
    QContextMenuEvent event(QContextMenuEvent::Mouse, background, dialog->mapToGlobal(background));
    QApplication::sendEvent(dialog.get(), &event);
    QMenu* menu = dialog->systemMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    ASSERT_EQ(menu->actions().size(), 1);
    QAction* about = menu->actions().front();
    EXPECT_EQ(about->text(), latin1(kAboutEntryText));
    about->trigger();
    EXPECT_EQ(log, std::vector<std::string>{"main.system:16"});
    menu->hide();

    // Windows of other templates have no such entry.
    auto probeDialog = system.open(probeWindow);
    EXPECT_EQ(probeDialog->systemMenu(), nullptr);

    // A window with entries of its own shows them first, then the system menu's.
    RecordingWindow withEntries{kMainDialogTemplate, "own", log};
    withEntries.menuEntries = {{3, "Own entry", true}};
    auto own = system.open(withEntries);
    log.clear();
    QApplication::sendEvent(own.get(), &event);
    QMenu* ownMenu = own->contextMenu();
    ASSERT_NE(ownMenu, nullptr);
    EXPECT_TRUE(ownMenu->isVisible());
    ASSERT_EQ(ownMenu->actions().size(), 3);
    EXPECT_EQ(ownMenu->actions()[0]->text(), "Own entry");
    EXPECT_TRUE(ownMenu->actions()[1]->isSeparator());
    ownMenu->actions()[2]->trigger();
    ownMenu->actions()[0]->trigger();
    EXPECT_EQ(log, (std::vector<std::string>{"own.system:16", "own.context:3"}));
    ownMenu->hide();
}

TEST_F(QtDialogTest, MeasuredBaseUnitsComeFromTheDialogFont) {
    auto dialog = system.open(main);
    const DialogBaseUnits units = dialog->metrics().baseUnits();
    const QFontMetricsF metrics(dialog->font());
    const qreal letters =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // Both rounded up: an average character fits in 4 units, and n lines of text in 8n units.
    EXPECT_EQ(units.x, static_cast<int>(std::ceil(letters / 52)));
    EXPECT_EQ(units.y, static_cast<int>(std::ceil(metrics.lineSpacing())));
    const QFontMetrics whole(dialog->font());
    EXPECT_LE(whole.boundingRect(QRect(0, 0, 1000, 1000), 0, "Ay\nAy\nAy").height(),
              dialog->metrics().toPixelsY(24));
    EXPECT_EQ(dialog->font().pointSize(), 8);
    EXPECT_EQ(dialog->width(), mulDiv(kMainWidth, units.x, 4));
    EXPECT_EQ(dialog->height(), mulDiv(kMainHeight, units.y, 8));
}

// Every control inside the window, every text inside its control, at 96 and 144 dpi; and the
// window fits a 1366 x 768 screen.
void expectNoTextCut(QtWindowSystem& system, RecordingWindow& window) {
    const DialogTemplate& layout = window.dialogTemplate();
    const int screenDpi = qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY());
    for (const int dpi : {96, 144}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " dpi");
        // The dialog font and units as a screen of that dpi gives them: the same points, in
        // proportionally more pixels.
        QFont font = dialogFont(layout.fontFamily, layout.fontPoints);
        ASSERT_EQ(QFontInfo(font).family(), "Liberation Sans");
        font.setPointSizeF(font.pointSizeF() * dpi / screenDpi);
        const DialogMetrics metrics = DialogMetrics::fromFont(font);
        QtDialog dialog(system, window, font, metrics, {}, nullptr);
        dialog.show();

        int texts = 0;
        for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const std::string name =
                child->objectName().toStdString() + " " + child->accessibleName().toStdString();
            EXPECT_TRUE(dialog.rect().contains(child->geometry())) << name << " lies outside";
            const std::optional<TextPlace> text = textPlace(child);
            if (!text) continue;
            ++texts;
            EXPECT_TRUE(text->area.contains(text->bounds))
                << name << " " << child->property("text").toString().toStdString() << ": text "
                << text->bounds.width() << "x" << text->bounds.height() << "+" << text->bounds.x()
                << "+" << text->bounds.y() << " in " << text->area.width() << "x"
                << text->area.height() << "+" << text->area.x() << "+" << text->area.y();
        }
        const auto hasText = [](const ControlTemplate& c) {
            return c.kind == ControlKind::Label || c.kind == ControlKind::PushButton ||
                   c.kind == ControlKind::Option || c.kind == ControlKind::GroupFrame;
        };
        EXPECT_EQ(texts, std::count_if(layout.controls.begin(), layout.controls.end(), hasText));
        if (dpi == 96) {
            // A 1366 x 768 screen also holds the title bar and a panel.
            EXPECT_LE(dialog.width(), 1366);
            EXPECT_LE(dialog.height(), 768 - 80);
        }
    }
}

TEST_F(QtDialogTest, NoTextOfTheMainWindowIsCutAtEitherDpi) { expectNoTextCut(system, main); }

TEST_F(QtDialogTest, NoTextOfTheOptionsOrDialerWindowIsCutAtEitherDpi) {
    RecordingWindow options{kOptionsDialogTemplate, "options", log};
    expectNoTextCut(system, options);
    RecordingWindow dialer{kDialerDialogTemplate, "dialer", log};
    expectNoTextCut(system, dialer);
}

}  // namespace
}  // namespace veskator

namespace veskator {
namespace {

// On the test platform's screen of 800 x 800 pixels the options window does not fit even in its
// smallest font: it scrolls, within the screen, and scrolling brings every control into view.
TEST_F(QtDialogTest, AWindowLargerThanItsScreenScrollsToEveryControl) {
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    ASSERT_LT(screen.width(), 1000) << "a screen too large for this test";
    RecordingWindow options{kOptionsDialogTemplate, "options", log};
    std::unique_ptr<QtDialog> dialog = system.open(options);
    QApplication::processEvents();  // laid out, as when the technician sees it
    auto* area = dialog->findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    EXPECT_LE(dialog->width(), screen.width());
    EXPECT_LE(dialog->height(), screen.height());
    EXPECT_LT(dialog->font().pointSizeF(), 8);  // the font was made smaller first
    QWidget* inside = area->widget();
    int reached = 0;
    for (const ControlTemplate& c : kOptionsDialogTemplate.controls) {
        if (c.id == kStaticId) continue;
        QWidget* control = dialog->control(c.id);
        ASSERT_NE(control, nullptr);
        const QPoint middle = control->geometry().center();
        area->ensureVisible(middle.x(), middle.y(), control->width() / 2 + 1,
                            control->height() / 2 + 1);
        // All of it in view; of a control wider or taller than the view, most of the view.
        const QRect view = area->viewport()->rect();
        const QRect shown(control->mapTo(area->viewport(), QPoint(0, 0)), control->size());
        const QRect seen = view.intersected(shown);
        const auto enough = [](int seen, int size, int room) {
            return size <= room ? seen == size : seen >= room * 9 / 10;
        };
        EXPECT_TRUE(enough(seen.width(), shown.width(), view.width()) &&
                    enough(seen.height(), shown.height(), view.height()))
            << c.id << " " << seen.width() << "x" << seen.height() << " of " << shown.width() << "x"
            << shown.height() << " in " << view.width() << "x" << view.height();
        ++reached;
    }
    EXPECT_GT(reached, 50);
    for (QWidget* child : inside->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const std::optional<TextPlace> text = textPlace(child);
        if (text) {
            EXPECT_TRUE(text->area.contains(text->bounds)) << child->accessibleName().toStdString();
        }
    }
}

}  // namespace
}  // namespace veskator
