// Start-up: the working files, the agreement gate, and the application object's run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/programmer_app.h"
#include "platform/headless/headless_platform.h"
#include "platform/posix_network.h"

namespace veskator {
namespace {

using namespace std::chrono_literals;
using namespace main_ids;

class NoCommands final : public CommandRunner {
  public:
    std::unique_ptr<RunningCommand> start(Command, CommandDone) override { return nullptr; }
};

class StartupTest : public ::testing::Test {
  protected:
    StartupTest()
        : m_dir(std::filesystem::temp_directory_path() /
                ("veskator-startup-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          m_files((std::filesystem::remove_all(m_dir), std::filesystem::create_directories(m_dir),
                   m_dir)),
          m_services{m_windows.clock(), m_files, m_network, m_commands, m_windows, m_wallClock} {}
    ~StartupTest() override { std::filesystem::remove_all(m_dir); }

    void writeFile(const std::string& path, const std::string& bytes) {
        std::filesystem::create_directories((m_dir / path).parent_path());
        std::ofstream(m_dir / path, std::ios::binary) << bytes;
    }
    std::string readFile(const std::string& path) {
        std::ifstream in(m_dir / path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    HeadlessDialog& start() {
        m_app = std::make_unique<CProgrammerApp>(m_services);
        return m_windows.open(m_app->mainWindow());
    }
    ProgrammerState& state() { return m_app->state(); }

    std::filesystem::path m_dir;
    HeadlessWindowSystem m_windows;
    PosixFileSystem m_files;
    PosixNetwork m_network;
    NoCommands m_commands;
    FixedWallClock m_wallClock;
    Services m_services;
    std::unique_ptr<CProgrammerApp> m_app;
};

TEST_F(StartupTest, WorkingFilesFillTheirFieldsWithinTheirLimits) {
    writeFile("program/savingfile.txt", "abcdefghijklmnopqrstuvwxy");  // 25 characters
    writeFile("program/loadingfile.txt", std::string("short\0rest", 10));
    writeFile("program/clientport.txt", std::string("50\0"
                                                    "01",
                                                    5));
    writeFile("program/serverIPm.txt", std::string(60, 'h'));
    HeadlessDialog& dialog = start();
    m_windows.advance(10ms);  // the first tick shows the values

    EXPECT_EQ(dialog.text(kSaveName), "abcdefghijklmnopqrst");
    EXPECT_EQ(dialog.text(kLoadName), "short");
    // The port stops at the zero byte, in the value as on screen, so that the control is never
    // rewritten at a tick while the user edits it.
    EXPECT_EQ(m_app->mainWindow().values().text(kTargetPort), "50");
    EXPECT_EQ(dialog.text(kTargetPort), "50");
    const int writes = dialog.writeCount(kTargetPort);
    m_windows.advance(100ms);
    EXPECT_EQ(dialog.writeCount(kTargetPort), writes);
    EXPECT_EQ(dialog.text(kTargetAddress), std::string(50, 'h'));
    EXPECT_FALSE(dialog.timerPeriod(1)) << "nothing is due: the window rests";
    EXPECT_TRUE(std::filesystem::exists(m_dir / "tempreceiveddata.txt"));
}

TEST_F(StartupTest, MissingFilesAndFolderLeaveFieldsEmptyAndCreateTheFolder) {
    writeFile("tempreceiveddata.txt", "old log");
    HeadlessDialog& dialog = start();
    m_windows.advance(10ms);
    for (ControlId id : {kSaveName, kLoadName, kTargetPort, kTargetAddress, kTraceBox}) {
        EXPECT_EQ(dialog.text(id), "") << id;
    }
    EXPECT_FALSE(m_app->mainWindow().disclaimerAccepted());
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "program"));
    EXPECT_TRUE(std::filesystem::exists(m_dir / "program/liability"));
    EXPECT_EQ(readFile("program/liability"), "");
    EXPECT_EQ(readFile("tempreceiveddata.txt"), "");
}

TEST_F(StartupTest, OnlyFiveBytesOfAgreementCount) {
    writeFile("program/liability", "agreement on file");
    HeadlessDialog& dialog = start();
    m_windows.advance(10ms);
    EXPECT_TRUE(m_app->mainWindow().disclaimerAccepted());
    EXPECT_EQ(dialog.text(kTraceBox), "You had agreeed with our no liability policy.");

    dialog.close(0);
    writeFile("program/liability", "agre");
    m_app.reset();
    HeadlessDialog& again = start();
    m_windows.advance(10ms);
    EXPECT_FALSE(m_app->mainWindow().disclaimerAccepted());
    EXPECT_EQ(again.text(kTraceBox), "");
}

TEST_F(StartupTest, StartGoBeforeAgreementShowsTheDisclaimerOnly) {
    HeadlessDialog& dialog = start();
    dialog.click(kStartGo);
    m_windows.advance(10ms);
    const std::string disclaimer =
        "Norvane,Inc. does not provide liability for using all software and our products. "
        "Please enter 'y' in the message window for agreeing \r\nwith Norvane's software terms "
        "and liability policy.";
    EXPECT_EQ(dialog.text(kTraceBox), disclaimer);
    EXPECT_FALSE(m_app->link().status().busyWith(TransferKind::FullRead));
    EXPECT_TRUE(m_app->mainWindow().values().text(kTraceBox) == disclaimer);
}

TEST_F(StartupTest, OnlyALoneYAgreesWhateverTheTypingSpeed) {
    HeadlessDialog& dialog = start();
    // "yes" typed at any pace below the agreement pause never agrees, nor does Enter after it.
    for (const auto pace : {0ms, 150ms, 250ms, 900ms}) {
        SCOPED_TRACE(testing::Message() << "pace " << pace.count() << " ms");
        dialog.replaceText(kMessageWindow, "");
        for (char c : std::string("yes")) {
            dialog.typeText(kMessageWindow, std::string(1, c));
            m_windows.advance(pace);
        }
        m_windows.advance(1500ms);
        dialog.pressEnter(kMessageWindow);
        EXPECT_EQ(readFile("program/liability"), "");
        EXPECT_NE(m_app->link().texts().trace, "You agreeed with our liability policy.");
    }

    // "y" with Enter agrees at once; "Y" alone once typing has paused a second.
    dialog.replaceText(kMessageWindow, "y");
    dialog.pressEnter(kMessageWindow);
    EXPECT_EQ(readFile("program/liability"), "agree");
    EXPECT_FALSE(dialog.isClosed());
    writeFile("program/liability", "");
    dialog.replaceText(kMessageWindow, "Y");
    m_windows.advance(990ms);
    EXPECT_EQ(readFile("program/liability"), "");
    m_windows.advance(20ms);
    EXPECT_EQ(readFile("program/liability"), "agree");
    EXPECT_EQ(dialog.text(kTraceBox), "You agreeed with our liability policy.");
    // The file is written, but Start/Go stays refused until the next start.
    dialog.click(kStartGo);
    EXPECT_FALSE(m_app->link().status().busyWith(TransferKind::FullRead));

    dialog.close(0);
    m_app.reset();
    start();
    EXPECT_TRUE(m_app->mainWindow().disclaimerAccepted());
}

TEST_F(StartupTest, TheApplicationRunsTheMainWindowModallyAndEnds) {
    bool ran = false;
    m_windows.onModal(kMainDialogResource, [&](HeadlessDialog& dialog) {
        ran = true;
        m_windows.advance(30ms);
        EXPECT_GE(m_windows.tickCount(), 1);
        dialog.close(0);
    });
    m_app = std::make_unique<CProgrammerApp>(m_services);
    EXPECT_FALSE(m_app->InitInstance());
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace veskator
