// The comparison as a technician meets it on real widgets: a table grouped by window, one row a
// setting, the bytes no window names counted in a last row that opens to show each; sorted, it
// keeps that row last; Ctrl+C copies the selected rows; "save as CSV" writes them beside the file.

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "resources/compare_dialog_template.h"
#include "resources/main_dialog_template.h"
#include "tests/support/main_window_rig.h"
#include "tests/support/qt_dialogs.h"
#include "tests/support/widget_rig.h"

namespace veskator::mainwin_test {
namespace {

using test_support::WidgetRig;

QStringList cells(const QTreeWidgetItem* item) {
    QStringList all;
    for (int column = 0; column < item->columnCount(); ++column) all << item->text(column);
    return all;
}

TEST(CompareTableOnWidgets, TextOptionAndHiddenByteInRowsClipboardAndCsv) {
    WidgetRig rig("veskator-compare");
    rig.imageAsRead();
    const sim::SimMemory device = rig.sim.memory();
    std::string file(device.begin(), device.begin() + kWorkspaceSize);
    file.replace(imageOffset({0, 0x30}), 5, std::string("4321\0", 5));      // Receiver Number 1
    file[imageOffset({0, 0x1f})] = static_cast<char>(device[0x1f] ^ 0x04);  // EMAIL
    const std::size_t hidden = kDialerDataOffset + 600;                     // named by no window
    file[hidden] = static_cast<char>(device[hidden] ^ 0x5a);
    std::ofstream(rig.dir / "site1.bin", std::ios::binary) << file;
    const std::string receiver1 = readText(std::span<const std::uint8_t>(device.data(), kImageSize),
                                           imageOffset({0, 0x30}), 16);
    const bool emailOn = (device[0x1f] & 0x04) != 0;
    const QString hiddenBefore = QString::asprintf("0x%02x", device[hidden]);
    const QString hiddenAfter = QString::asprintf("0x%02x", device[hidden] ^ 0x5a);

    std::unique_ptr<QtDialog> main = rig.openMain();
    WidgetRig::control<QLineEdit>(*main, main_ids::kLoadName)->setText("site1.bin");
    QTest::mouseClick(WidgetRig::control<QAbstractButton>(*main, main_ids::kCompare),
                      Qt::LeftButton);
    QPointer<QtDialog> table = main->openChild();
    ASSERT_FALSE(table.isNull());
    {
        QtDialog& d = *table;
        EXPECT_EQ(d.text(compare_ids::kSummary), "2 settings differ (device now -> site1.bin)");
        auto* tree = WidgetRig::control<QTreeWidget>(d, compare_ids::kReport);
        ASSERT_NE(tree, nullptr);
        EXPECT_EQ(tree->accessibleName(), "differences");
        EXPECT_EQ(cells(tree->headerItem()), (QStringList{"setting", "device now", "site1.bin"}));
        ASSERT_EQ(tree->topLevelItemCount(), 2);
        QTreeWidgetItem* group = tree->topLevelItem(0);
        EXPECT_EQ(group->text(0).toStdString(), kMainCaption);
        EXPECT_TRUE(group->isExpanded());
        ASSERT_EQ(group->childCount(), 2);
        EXPECT_EQ(cells(group->child(0)),
                  (QStringList{"Receiver Number 1", QString::fromStdString(receiver1), "4321"}));
        EXPECT_EQ(cells(group->child(1)),
                  (QStringList{"EMAIL", emailOn ? "on" : "off", emailOn ? "off" : "on"}));
        QTreeWidgetItem* others = tree->topLevelItem(1);
        EXPECT_EQ(others->text(0), "1 other bytes differ");
        EXPECT_FALSE(others->isExpanded());
        ASSERT_EQ(others->childCount(), 1);
        EXPECT_EQ(cells(others->child(0)),
                  (QStringList{"dialer data offset 0x0258", hiddenBefore, hiddenAfter}));

        // Sorted either way by setting, the other bytes stay the last row.
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            tree->sortByColumn(0, order);
            EXPECT_EQ(tree->topLevelItem(1), others);
        }
        EXPECT_EQ(group->child(0)->text(0), "Receiver Number 1");  // descending
        tree->sortByColumn(0, Qt::AscendingOrder);
        EXPECT_EQ(group->child(0)->text(0), "EMAIL");

        tree->setFocus();
        tree->clearSelection();
        group->child(0)->setSelected(true);
        others->child(0)->setSelected(true);
        QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
        const QString copied =
            QString("EMAIL\t%1\t%2\n").arg(emailOn ? "on" : "off", emailOn ? "off" : "on") +
            "dialer data offset 0x0258\t" + hiddenBefore + "\t" + hiddenAfter + "\n";
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), copied.toStdString());

        QTest::mouseClick(WidgetRig::control<QAbstractButton>(d, compare_ids::kSaveCsv),
                          Qt::LeftButton);
        EXPECT_EQ(d.text(compare_ids::kCsvNote),
                  "saved as site1.bin-compare.csv in the working folder");
        d.close(0);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return table.isNull(); }));
    EXPECT_EQ(main->openChild(), nullptr);
    EXPECT_EQ(readFile(rig.dir / "site1.bin-compare.csv"),
              "window,setting,device now,site1.bin\r\n" + std::string(kMainCaption) +
                  ",Receiver Number 1," + receiver1 + ",4321\r\n" + std::string(kMainCaption) +
                  ",EMAIL," + (emailOn ? "on,off" : "off,on") +
                  "\r\n"
                  "other bytes,dialer data offset 0x0258," +
                  hiddenBefore.toStdString() + "," + hiddenAfter.toStdString() + "\r\n");
    EXPECT_EQ(rig.sim.connectionCount(), 0);
}

}  // namespace
}  // namespace veskator::mainwin_test
