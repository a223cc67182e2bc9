// The windows on the screen this run was given (ctest runs the program once per screen a
// technician may carry): each fits the screen with its frame, and every control and every text of
// it is whole and within reach.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <cstdlib>
#include <string>

#include "platform/test_windows.h"
#include "resources/compare_dialog_template.h"
#include "resources/dialer_dialog_template.h"
#include "resources/main_dialog_template.h"
#include "resources/options_dialog_template.h"
#include "tests/support/qt_dialogs.h"

namespace veskator {
namespace {

using testing::RecordingWindow;

// The screen ctest asked for, as the windows see it: "WIDTHxHEIGHT@DPI" in logical pixels.
std::string screenAskedFor() {
    const char* screen = std::getenv("VESKATOR_TEST_SCREEN");
    return screen != nullptr ? screen : "";
}

TEST(ScreenFit, EveryWindowFitsItsScreenWithEveryTextWhole) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const std::string shown = std::to_string(screen->geometry().width()) + "x" +
                              std::to_string(screen->geometry().height()) + "@" +
                              std::to_string(qRound(screen->logicalDotsPerInch()));
    ASSERT_EQ(shown, screenAskedFor()) << "the screen of this run is not the one asked for";
    const QRect available = screen->availableGeometry();

    QtWindowSystem system;
    std::vector<std::string> log;
    for (const DialogTemplate* layout : {&kMainDialogTemplate, &kOptionsDialogTemplate,
                                         &kDialerDialogTemplate, &kCompareDialogTemplate}) {
        SCOPED_TRACE(std::string(layout->caption));
        RecordingWindow window{*layout, "window", log};
        std::unique_ptr<QtDialog> dialog = system.open(window);
        // The window and its frame and title bar stand on the screen whole; nothing scrolls.
        EXPECT_LE(dialog->width() + 16, available.width());
        EXPECT_LE(dialog->height() + 48, available.height());
        EXPECT_EQ(dialog->findChild<QScrollArea*>(), nullptr);

        int controls = 0;
        for (const ControlTemplate& c : layout->controls) {
            if (c.id == kStaticId) continue;
            QWidget* control = dialog->control(c.id);
            ASSERT_NE(control, nullptr) << c.id;
            ++controls;
            EXPECT_TRUE(dialog->rect().contains(control->geometry())) << c.id << " lies outside";
        }
        EXPECT_GE(controls, 5);
        for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const std::optional<test_support::TextPlace> text = test_support::textPlace(child);
            if (!text) continue;
            EXPECT_TRUE(dialog->rect().contains(child->geometry()))
                << child->accessibleName().toStdString() << " lies outside";
            EXPECT_TRUE(text->area.contains(text->bounds))
                << child->accessibleName().toStdString() << " is cut";
        }
    }
}

}  // namespace
}  // namespace veskator
