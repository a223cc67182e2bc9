// Names the technician does not type on real widgets: a recent device chosen from the list
// beside the target box is typed as its address and port (another name of a device is another
// device: no write until it is read), and a file picked in the file dialog loads as a typed name;
// both lists are kept in ./program/, the owner's alone.

#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <fstream>

#include "model/recent_lists.h"
#include "resources/main_dialog_template.h"
#include "tests/support/main_window_rig.h"
#include "tests/support/widget_rig.h"
#include "ui/status_line.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;
using test_support::WidgetRig;

unsigned modeOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777u) : 0u;
}

TEST(RecentDevicesOnWidgets, ChosenDeviceIsTypedAndTakesNoWriteUntilRead) {
    WidgetRig rig("veskator-recent");
    const std::string port = std::to_string(rig.sim.port());
    std::ofstream(rig.dir / kRecentDevicesFile)
        << "127.0.0.1\t" << port << "\t2026-12-01 09:00:00\n"
        << "localhost\t" << port << "\t\n"
        << "not a device line\n";
    rig.imageAsRead();
    std::unique_ptr<QtDialog> dialog = rig.openMain();
    auto* list = WidgetRig::control<QToolButton>(*dialog, kRecentDevices);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->accessibleName(), "recent devices");
    EXPECT_EQ(list->accessibleDescription(), QString::number(kRecentDevices));
    QMenu* menu = list->menu();
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text().toStdString(),
              "127.0.0.1:" + port + "   read 2026-12-01 09:00:00");

    menu->actions()[1]->trigger();
    EXPECT_EQ(dialog->text(kTargetAddress), "localhost");
    EXPECT_EQ(dialog->text(kTargetPort), port);
    auto* port1 = WidgetRig::control<QLineEdit>(*dialog, kServerPort1);
    port1->selectAll();
    QTest::keyClicks(port1, "6001");
    EXPECT_NE(dialog->text(kStatusLine).find(kTextTargetChanged), std::string::npos)
        << dialog->text(kStatusLine);

    rig.wallClock.set({2026, 12, 9, 10, 30, 0});
    QTest::mouseClick(WidgetRig::control<QAbstractButton>(*dialog, kStartGo), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dialog->text(kStatusLine).find("read localhost:") != std::string::npos; },
        10000))
        << dialog->text(kStatusLine);
    port1->selectAll();
    QTest::keyClicks(port1, "6001");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const sim::SimMemory memory = rig.sim.memory();
            return std::string(memory.begin() + 0x60, memory.begin() + 0x65) ==
                   std::string("6001\0", 5);
        },
        10000));
    // The device read goes first with its time; the file is written whole.
    EXPECT_EQ(readFile(rig.dir / kRecentDevicesFile), "localhost\t" + port +
                                                          "\t2026-12-09 10:30:00\n127.0.0.1\t" +
                                                          port + "\t2026-12-01 09:00:00\n");
    EXPECT_EQ(menu->actions()[0]->text().toStdString(),
              "localhost:" + port + "   read 2026-12-09 10:30:00");
}

TEST(FilePickerOnWidgets, PickedFileLoadsAsATypedNameAndIsOfferedAgain) {
    WidgetRig rig("veskator-pick");
    rig.imageAsRead();
    const sim::SimMemory device = rig.sim.memory();
    std::string file(device.begin(), device.begin() + kImageSize);
    file.replace(0x30, 5, std::string("4321\0", 5));  // Receiver Number 1
    const std::filesystem::path picked = rig.dir / "site1.bin";
    std::ofstream(picked, std::ios::binary) << file;
    std::unique_ptr<QtDialog> dialog = rig.openMain();

    // The file dialog is Qt's own, with the parameter files' filter; the technician types the
    // file's path into it and accepts.
    // The file dialog is in front of the window, which goes on meanwhile.
    QTest::mouseClick(WidgetRig::control<QAbstractButton>(*dialog, kPickLoadName), Qt::LeftButton);
    QPointer<QFileDialog> box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_FALSE(box.isNull());
    EXPECT_EQ(box->parentWidget(), dialog.get());
    EXPECT_EQ(box->nameFilters(), (QStringList{"parameter files (*.bin)", "all files (*)"}));
    auto* name = box->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(picked.string()));
    static_cast<QDialog*>(box.data())->accept();  // as the Open button does
    EXPECT_EQ(dialog->text(kLoadName), picked.string());
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.isNull(); }));  // gone once closed

    QTest::mouseClick(WidgetRig::control<QAbstractButton>(*dialog, kLoad), Qt::LeftButton);
    QTest::mouseClick(WidgetRig::control<QAbstractButton>(*dialog, kYes), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const sim::SimMemory memory = rig.sim.memory();
            return std::string(memory.begin() + 0x30, memory.begin() + 0x35) ==
                   std::string("4321\0", 5);
        },
        10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return dialog->text(kStatusLine).find("loaded " + picked.string()) != std::string::npos;
        },
        10000))
        << dialog->text(kStatusLine);
    EXPECT_EQ(readFile(rig.dir / kRecentLoadsFile), picked.string() + "\n");
    EXPECT_EQ(modeOf(rig.dir / kRecentLoadsFile), 0600u);

    // A cancelled dialog leaves the box as it was.
    auto* loadName = WidgetRig::control<QLineEdit>(*dialog, kLoadName);
    loadName->selectAll();
    QTest::keyClicks(loadName, "other.bin");
    QTest::mouseClick(WidgetRig::control<QAbstractButton>(*dialog, kPickLoadName), Qt::LeftButton);
    auto* cancelled = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(cancelled, nullptr);
    cancelled->reject();
    EXPECT_EQ(dialog->text(kLoadName), "other.bin");

    // The box's right-click menu offers the files loaded last above its own entries.
    ASSERT_EQ(loadName->contextMenuPolicy(), Qt::CustomContextMenu);
    emit loadName->customContextMenuRequested(QPoint(2, 2));
    QMenu* menu = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "choices" && w->isVisible()) menu = qobject_cast<QMenu*>(w);
    }
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().front()->text().toStdString(), picked.string());
    menu->actions().front()->trigger();
    menu->close();
    EXPECT_EQ(dialog->text(kLoadName), picked.string());
}

}  // namespace
}  // namespace veskator::mainwin_test
