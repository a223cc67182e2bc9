// The main window on real Qt widgets (offscreen) and the Qt network: keystrokes in a real edit
// reach the device as one block write. The engine runs on real time here, so this is the one test
// that waits in real time (about two seconds: the commit delay and the pause after connecting).

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include "mainwin/main_fields.h"
#include "platform/qt/qt_network.h"
#include "platform/qt/qt_window_system.h"
#include "resources/main_dialog_template.h"
#include "tests/mainwin/mainwin_fixture.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;

TEST(MainWindowOnWidgets, TypingIntoThePortEditWritesOneBlock) {
    const std::filesystem::path dir = makeTempDir("veskator-widgets");
    sim::CommunicatorSim sim;
    ASSERT_TRUE(sim.start());
    std::filesystem::create_directories(dir / "program");
    writeFile(dir / "program/serverIPm.txt", "127.0.0.1");
    writeFile(dir / "program/clientport.txt", std::to_string(sim.port()));
    writeFile(dir / "program/liability", "agree");

    PosixFileSystem files(dir);
    SteadyClock clock;
    QtWindowSystem windows;
    QtNetwork network(windows.gate());
    NoCommands commands;
    Services services{clock, files, network, commands, windows};
    auto app = std::make_unique<CProgrammerApp>(services);
    ProgrammerState& state = app->state();
    // As after a full read, without spending real time on one.
    const sim::SimMemory device = sim.memory();
    std::copy_n(device.begin(), kReceiveAreaSize, state.workspace.receiveArea().begin());
    state.imageHoldsDeviceData = true;
    LinkEngine& engine = app->link();
    CMainProgDlg& window = app->mainWindow();
    std::unique_ptr<QtDialog> dialog = windows.open(window);

    auto* edit = qobject_cast<QLineEdit*>(dialog->control(kServerPort1));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->maxLength(), 11);
    QTest::keyClicks(edit, "5001");
    EXPECT_EQ(window.values().text(kServerPort1), "5001");

    const auto writes = [&sim] {
        std::vector<sim::SimEvent> found;
        for (const sim::SimEvent& e : sim.events()) {
            if (e.kind == sim::SimEvent::Kind::BlockWrite) found.push_back(e);
        }
        return found;
    };
    QElapsedTimer waited;
    waited.start();
    while ((writes().empty() || !engine.idle()) && waited.elapsed() < 8000) QTest::qWait(20);

    const auto found = writes();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].number, 0);
    EXPECT_EQ(std::string(found[0].data.begin() + 0x60, found[0].data.begin() + 0x65),
              std::string_view("5001\0", 5));
    // Nothing more is on its way: no commit pending, no request queued.
    EXPECT_TRUE(engine.idle());
    EXPECT_EQ(window.pendingCommits(), 0);
    EXPECT_TRUE(engine.settled());
    EXPECT_EQ(sim.connectionCount(), 1);

    window.onClosed();
    dialog.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

}  // namespace
}  // namespace veskator::mainwin_test
