// Parameter files saved and loaded from the main window, and the external alarm code.

#include "model/parameter_files.h"

#include <algorithm>
#include <array>
#include <functional>

#include "model/main_fields.h"
#include "resources/main_dialog_template.h"
#include "tests/support/main_window_rig.h"
#include "ui/status_line.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;

// A workspace in which every block differs from the others, and no byte is a carriage return
// (a written block turns those into 12).
std::string workspacePattern() {
    std::string bytes(kWorkspaceSize, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<std::uint8_t>(i * 31 + i / 128 + 1);
        if (b == 13) b = 14;
        bytes[i] = static_cast<char>(b);
    }
    return bytes;
}

class ParameterFilesTest : public MainWindowTest {
  protected:
    void fillWorkspace(std::string_view bytes) {
        auto ws = state.workspace.bytes();
        std::copy(bytes.begin(), bytes.end(), ws.begin());
    }
    std::string workspace() const { return textOf(state.workspace.bytes()); }
    void askAndLoad(std::string_view name) {
        dialog->replaceText(kLoadName, name);
        dialog->click(kLoad);
        dialog->click(kYes);
    }
};

TEST_F(ParameterFilesTest, SaveThenLoadRestoresEveryByteAndWritesTheEightBlocksInOrder) {
    openWindow();
    const std::string pattern = workspacePattern();
    fillWorkspace(pattern);

    dialog->replaceText(kSaveName, "set1.par");
    dialog->click(kSave);
    EXPECT_EQ(shown(kMessageWindow), kTextSavingCompleted);
    EXPECT_EQ(readFile(path("program/savingfile.txt")), "set1.par");
    EXPECT_EQ(readFile(path("set1.par")), pattern);

    fillWorkspace(std::string(kWorkspaceSize, '\0'));
    dialog->replaceText(kLoadName, "set1.par");
    dialog->click(kLoad);
    EXPECT_EQ(shown(kMessageWindow), kTextLoadQuestion);
    EXPECT_TRUE(settled());
    dialog->click(kYes);
    EXPECT_EQ(workspace(), pattern);  // the dialer data and the rest included
    EXPECT_EQ(shown(kMessageWindow), kTextLoading);
    EXPECT_EQ(readFile(path("program/loadingfile.txt")), "set1.par");

    ASSERT_TRUE(pumpUntilSettled());
    const auto writes = blockWrites();
    ASSERT_EQ(writes.size(), 8u);
    for (int b = 0; b < kBlockCount; ++b) {
        EXPECT_EQ(writes[b].number, b);
        EXPECT_EQ(textOf(writes[b].data), pattern.substr(b * kBlockSize, kBlockSize)) << "A" << b;
    }
    // Then read back, units 0 to 15 on the connection that wrote A7, and found as sent.
    const auto reads = events(sim::SimEvent::Kind::Read);
    ASSERT_EQ(reads.size(), 16u);
    for (int u = 0; u < 16; ++u) {
        EXPECT_EQ(reads[u].number, u);
        EXPECT_EQ(reads[u].connection, writes.back().connection);
    }
    EXPECT_EQ(shown(kMessageWindow), "loading completed, 8 of 8 blocks verified");
    EXPECT_EQ(connections(), 8);
    EXPECT_EQ(sim->remoteResetCount(), 0);
    // The question stays answered: a further "YES" loads and writes again.
    EXPECT_EQ(dlg->loadConfirmPending(), true);
}

TEST_F(ParameterFilesTest, AShortFileReplacesOnlyTheImage) {
    openWindow();
    const std::string pattern = workspacePattern();
    fillWorkspace(pattern);
    writeFile(path("image.par"), std::string(kImageSize, 'Z'));

    askAndLoad("image.par");
    const std::string after = workspace();
    EXPECT_EQ(after.substr(0, kImageSize), std::string(kImageSize, 'Z'));
    EXPECT_EQ(after.substr(kImageSize), pattern.substr(kImageSize));
    EXPECT_EQ(textOf(state.workspace.historyArea()), pattern.substr(kHistoryOffset, kHistorySize));
    EXPECT_EQ(textOf(state.workspace.dialerDataArea()),
              pattern.substr(kDialerDataOffset, kDialerDataSize));
}

TEST_F(ParameterFilesTest, YesLoadsOnlyWhileTheQuestionIsOpen) {
    openWindow();
    const std::string pattern = workspacePattern();
    fillWorkspace(pattern);
    writeFile(path("other.par"), std::string(kWorkspaceSize, 'Q'));
    dialog->replaceText(kLoadName, "other.par");

    // "YES" without the question.
    dialog->click(kYes);
    EXPECT_EQ(workspace(), pattern);
    EXPECT_EQ(engine->status().busyWith(TransferKind::WriteAll), false);
    EXPECT_FALSE(std::filesystem::exists(path("program/loadingfile.txt")));

    // "YES" after "NO".
    dialog->click(kLoad);
    EXPECT_EQ(dlg->loadConfirmPending(), true);
    dialog->click(kNo);
    EXPECT_EQ(shown(kMessageWindow), "");
    dialog->click(kYes);
    EXPECT_EQ(workspace(), pattern);
    EXPECT_EQ(engine->status().busyWith(TransferKind::WriteAll), false);
    EXPECT_EQ(shown(kMessageWindow), "");
    pumpFor(1500ms);
    EXPECT_EQ(sim->connectionCount(), 0);
}

TEST_F(ParameterFilesTest, AMissingLoadFileOrAnUncreatableSaveNameIsReported) {
    openWindow();
    const std::string pattern = workspacePattern();
    fillWorkspace(pattern);

    askAndLoad("missing.par");
    EXPECT_EQ(shown(kMessageWindow), "loading failed: missing.par cannot be read");
    EXPECT_EQ(workspace(), pattern);
    EXPECT_EQ(readFile(path("program/loadingfile.txt")), "missing.par");
    pumpFor(3000ms);
    EXPECT_EQ(sim->connectionCount(), 0);
    EXPECT_FALSE(state.holdsDeviceData());

    dialog->replaceText(kSaveName, "nodir/x");
    dialog->click(kSave);
    EXPECT_EQ(shown(kMessageWindow), kTextSavingFailed);
    EXPECT_EQ(readFile(path("program/savingfile.txt")), "nodir/x");
    EXPECT_FALSE(std::filesystem::exists(path("nodir")));
    pumpFor(1000ms);
    EXPECT_EQ(sim->connectionCount(), 0);
}

// Only the workspace or the image is a parameter file: any other size is refused, before a read
// and after it, and nothing is sent.
TEST_F(ParameterFilesTest, AFileOfAnyOtherSizeIsRefused) {
    openWindow();
    for (bool read : {false, true}) {
        if (read) readDevice();
        const std::string held = workspace();
        for (std::size_t size : {std::size_t{0}, std::size_t{12}, kImageSize - 1, kImageSize + 1,
                                 kWorkspaceSize - 1, kWorkspaceSize + 1, 2 * kWorkspaceSize}) {
            SCOPED_TRACE(testing::Message() << "read " << read << ", size " << size);
            writeFile(path("odd.par"), std::string(size, 'S'));
            askAndLoad("odd.par");
            const std::string holds =
                size > kWorkspaceSize ? "more than 16384 bytes" : std::to_string(size) + " bytes";
            EXPECT_EQ(shown(kMessageWindow), "loading failed: odd.par holds " + holds +
                                                 "; a parameter file holds 1024 or 16384");
            EXPECT_EQ(workspace(), held);
            EXPECT_EQ(state.holdsDeviceData(), read);
        }
    }
    pumpFor(3000ms);
    EXPECT_EQ(connections(), 0);
}

// "YES" while a full read or another load runs: the device ends with the new file's eight blocks,
// and the image holds nothing else.
TEST_F(ParameterFilesTest, ALoadDuringAReadOrALoadWritesOneFileWhole) {
    openWindow();
    readDevice();
    writeFile(path("one.par"), std::string(kWorkspaceSize, 'O'));
    const std::string two = workspacePattern();
    writeFile(path("two.par"), two);
    struct Case {
        const char* during;
        std::function<void()> start;
        std::function<bool()> underWay;
    };
    const Case cases[] = {
        // A device that greets and then keeps the read waiting for its reply.
        {"full read",
         [&] {
             sim->setFault(sim::FaultMode::Silence);
             dialog->click(kStartGo);
         },
         [&] {
             return engine->status().busyWith(TransferKind::FullRead) &&
                    engine->linkState() == LinkState::AwaitReply;
         }},
        {"load", [&] { askAndLoad("one.par"); }, [&] { return blockWrites().size() >= 3; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.during);
        sim->clearEvents();
        c.start();
        ASSERT_TRUE(pumpUntil(c.underWay));
        askAndLoad("two.par");
        // The device answers again, so the blocks can be read back.
        sim->setFault(sim::FaultMode::None);
        ASSERT_TRUE(pumpUntilSettled());
        EXPECT_EQ(shown(kMessageWindow), "loading completed, 8 of 8 blocks verified");
        EXPECT_EQ(deviceBytes(0, kImageSize), two.substr(0, kImageSize));
        EXPECT_EQ(workspace(), two);
    }
}

TEST_F(ParameterFilesTest, ALoadedFileIsWhatTheWindowShowsAndWhatTheNextClickStartsFrom) {
    openWindow();
    readDevice();  // A0 0x1f 0x23, A1 0x3f 0x06, A1 0x3d 0x90, A1 0x38 0x80
    ASSERT_TRUE(dialog->isChecked(kDc09));

    std::string file = textOf(state.workspace.bytes());
    file.replace(0x60, 5, std::string_view("4242\0", 5));
    file[0x1f] = 0x01;
    file[0x80 + 0x3f] = 0x08;
    file[0x80 + 0x3d] = 0x02;
    file[0x80 + 0x38] = 0x00;
    writeFile(path("site.par"), file);

    askAndLoad("site.par");
    EXPECT_EQ(values().text(kServerPort1), "4242");
    EXPECT_EQ(shown(kServerPort1), "4242");
    const std::array<std::pair<ControlId, bool>, 8> options{{
        {kByeCommand, true},
        {kCommentFields, false},
        {kIncludeProgData, false},
        {kListenIn, true},
        {kTimeStamp, false},
        {kTcpOrUdp, false},
        {kNoServerAck, false},
        {kDc09, false},
    }};
    for (const auto& [id, on] : options) EXPECT_EQ(dialog->isChecked(id), on) << "option " << id;
    EXPECT_EQ(state.optionCopies().bytes(), (std::array<std::uint8_t, 4>{0x01, 0x08, 0x02, 0x00}));
    // The refresh commits nothing of its own.
    EXPECT_TRUE((dlg->pendingCommits() == 0));
    ASSERT_TRUE(pumpUntilSettled());
    ASSERT_EQ(blockWrites().size(), 8u);

    sim->clearEvents();
    dialog->click(kCommentFields);
    ASSERT_TRUE(pumpUntilSettled());
    const auto writes = blockWrites();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].data[0x1f], 0x03);
    EXPECT_EQ(writes[0].data[0x60], '4');
}

// The right-click entry switches the read-back of loads off and on; off, a load ends as it always
// did and nothing is read; on, a block the device keeps getting wrong is named, in the message
// window and on the status line.
TEST_F(ParameterFilesTest, LoadsAreReadBackUnlessTheContextMenuSwitchesItOff) {
    using Entry = HeadlessDialog::MenuEntryShown;
    openWindow();
    EXPECT_EQ(dialog->contextMenu(),
              (std::vector<Entry>{{std::string(kVerifyLoadsEntry), true, true}}));
    ASSERT_TRUE(dialog->chooseContextEntry(kVerifyLoadsEntry));
    EXPECT_EQ(dialog->contextMenu().front(), (Entry{std::string(kVerifyLoadsEntry), true, false}));

    sim->setCorruptOnWrite(3, false);
    writeFile(path("site.par"), workspacePattern());
    askAndLoad("site.par");
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(shown(kMessageWindow), kTextLoadingCompleted);
    EXPECT_EQ(blockWrites().size(), 8u);
    EXPECT_TRUE(events(sim::SimEvent::Kind::Read).empty());
    EXPECT_EQ(connections(), 8);

    ASSERT_TRUE(dialog->chooseContextEntry(kVerifyLoadsEntry));
    EXPECT_TRUE(dialog->contextMenu().front().checked);
    sim->clearEvents();
    dialog->click(kYes);  // the question stays answered: the same file again
    bool rewriteShown = false;
    ASSERT_TRUE(pumpUntil([&] {
        rewriteShown =
            rewriteShown || shown(kStatusLine).starts_with("link: writing A3 again, it differed");
        return settled();
    }));
    const std::string named = "loading completed, 7 of 8 blocks verified; A3 differs on the device";
    EXPECT_EQ(shown(kMessageWindow), named);
    EXPECT_EQ(shown(kStatusLine), "link: idle    load of site.par to 127.0.0.1:" +
                                      std::to_string(sim->port()) + " at 14:03:22: " + named);
    EXPECT_TRUE(rewriteShown);
    EXPECT_EQ(blockWrites().size(), 9u);
}

// A load over what a read brought first keeps the workspace as a snapshot, named by the time and
// the target, before anything is sent; loading the snapshot undoes the load; the newest 50 stay;
// and when the snapshot cannot be written, nothing is loaded or sent.
TEST_F(ParameterFilesTest, ALoadOverDeviceDataKeepsASnapshotThatUndoesIt) {
    namespace fs = std::filesystem;
    const fs::path folder = path("program/snapshots");
    fs::create_directories(folder);
    for (int i = 0; i < 50; ++i) {
        // Two digits built in place: GCC 12 at -O3 takes "0" + string for an overlapping copy.
        std::string minute(2, '0');
        minute[0] = static_cast<char>('0' + i / 10);
        minute[1] = static_cast<char>('0' + i % 10);
        writeFile(folder / ("2026-12-07_10-" + minute + "-00_10.0.0.9.bin"), "older");
    }
    writeFile(folder / "notes.txt", "the technician's own");
    const auto snapshots = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) {
            if (e.path().extension() == ".bin") names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    openWindow();
    readDevice();
    const std::string before = textOf(state.workspace.bytes());
    const std::string deviceBefore = deviceBytes(0, kImageSize);
    const std::string readBrought = deviceBytes(0, kReceiveAreaSize);
    wallClock.set({2026, 12, 8, 14, 3, 22});
    writeFile(path("site.par"), workspacePattern());

    askAndLoad("site.par");
    const std::string port = std::to_string(sim->port());
    const std::string name = "program/snapshots/2026-12-08_14-03-22_127.0.0.1_" + port + ".bin";
    EXPECT_TRUE(blockWrites().empty());
    const std::string snapshot = readFile(path(name));
    EXPECT_EQ(snapshot, before);
    EXPECT_EQ(snapshot.substr(0, kReceiveAreaSize), readBrought);
    EXPECT_EQ(shown(kMessageWindow), "loading; snapshot saved: " + name);
    EXPECT_TRUE(shown(kStatusLine).ends_with("    snapshot saved: " + name));
    const auto kept = snapshots();
    ASSERT_EQ(kept.size(), 50u);
    EXPECT_EQ(kept.front(), "2026-12-07_10-01-00_10.0.0.9.bin");
    EXPECT_EQ(kept.back(), fs::path(name).filename().string());
    EXPECT_EQ(readFile(folder / "notes.txt"), "the technician's own");
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(deviceBytes(0, kImageSize), workspacePattern().substr(0, kImageSize));

    // The image now holds a file, not device data: no second snapshot.
    wallClock.set({2026, 12, 8, 14, 5, 0});
    askAndLoad(name);
    EXPECT_EQ(shown(kMessageWindow), kTextLoading);
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(shown(kMessageWindow), "loading completed, 8 of 8 blocks verified");
    EXPECT_EQ(deviceBytes(0, kImageSize), deviceBefore);
    EXPECT_EQ(snapshots(), kept);

    readDevice();
    fs::remove_all(folder);
    writeFile(folder, "a file where the folder should be");
    const std::string held = textOf(state.workspace.bytes());
    askAndLoad("site.par");
    EXPECT_EQ(shown(kMessageWindow),
              "loading not started: snapshot program/snapshots/2026-12-08_14-05-00_127.0.0.1_" +
                  port + ".bin could not be saved; nothing was sent");
    EXPECT_EQ(textOf(state.workspace.bytes()), held);
    EXPECT_FALSE(engine->status().busyWith(TransferKind::WriteAll));
    pumpFor(3000ms);
    EXPECT_EQ(connections(), 0);

    // Any address typed makes a name of one file in the folder.
    EXPECT_EQ(snapshotName({2027, 1, 2, 3, 4, 5}, {" ../my host:50\xe9 ", 4000}),
              "2027-01-02_03-04-05_.._my_host_50__4000.bin");
    EXPECT_EQ(snapshotName({2027, 1, 2, 3, 4, 5}, {"", 0}), "2027-01-02_03-04-05_no-address_0.bin");
}

TEST_F(ParameterFilesTest, AlarmCodeLineEndsAreConvertedIntoTheBufferAndTheBackup) {
    openWindow();
    writeFile(path("alarmcode.txt"), "AB\r\nC");
    // An older, longer backup keeps its bytes after the new ones.
    const std::string oldBackup(200, '=');
    writeFile(path("alarmcode.bak"), oldBackup);

    dialog->click(kAlarmCode);
    const std::string converted = "AB\x07#C";
    EXPECT_EQ(readFile(path("alarmcode.bak")), converted + oldBackup.substr(5));
    EXPECT_TRUE(engine->status().busyWith(TransferKind::AlarmCode));
    ASSERT_TRUE(pumpUntil([&] { return !events(sim::SimEvent::Kind::ChunkWrite).empty(); }));
    const auto chunk = events(sim::SimEvent::Kind::ChunkWrite).front();
    EXPECT_EQ(chunk.number, 64);
    EXPECT_EQ(textOf(chunk.data), converted + std::string(kBlockSize - 5, '\0'));
}

TEST_F(ParameterFilesTest, AnAlarmCodeEndsWithTheChunkThatHoldsTheEndMark) {
    openWindow();
    const std::string first(128, 'x');
    const std::string second = "abc??def";
    writeFile(path("alarmcode.txt"), first + second);

    dialog->click(kAlarmCode);
    ASSERT_TRUE(pumpUntilSettled());
    const auto chunks = events(sim::SimEvent::Kind::ChunkWrite);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].number, 64);
    EXPECT_EQ(chunks[0].text, "write programAp");
    EXPECT_EQ(textOf(chunks[0].data), first);
    EXPECT_EQ(chunks[1].number, 65);
    EXPECT_EQ(chunks[1].text, "write programAq");
    EXPECT_EQ(textOf(chunks[1].data), second + std::string(128 - second.size(), '\0'));
    EXPECT_EQ(shown(kDownloadLine), "fileend" + second);
    EXPECT_TRUE(blockWrites().empty());
}

TEST_F(ParameterFilesTest, AnAlarmCodeThatGivesNoBytesSendsNothingAndSaysWhy) {
    openWindow();
    // An earlier download left its bytes in the buffer: none of them may go again.
    writeFile(path("alarmcode.txt"), "OLD CODE??");
    dialog->click(kAlarmCode);
    ASSERT_TRUE(pumpUntilSettled());
    sim->clearEvents();

    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::string_view shown;
    };
    const Case cases[] = {
        {"missing", [&] { std::filesystem::remove(path("alarmcode.txt")); },
         "alarm code not sent: ./alarmcode.txt was missing and has been created empty"},
        {"empty", [&] { writeFile(path("alarmcode.txt"), ""); },
         "alarm code not sent: ./alarmcode.txt is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        dialog->click(kAlarmCode);
        EXPECT_TRUE(std::filesystem::exists(path("alarmcode.txt")));
        EXPECT_EQ(shown(kDownloadLine), c.shown);
        EXPECT_EQ(engine->status().busyWith(TransferKind::AlarmCode), false);
        pumpFor(3000ms);
        EXPECT_EQ(sim->connectionCount(), 1) << "only the first download connected";
    }
}

// A file system on which the alarm code can be read but not opened for writing, as a read-only
// file is for anyone but root.
class ReadOnlyAlarmCode final : public FileSystem {
  public:
    explicit ReadOnlyAlarmCode(FileSystem& inner) : m_inner(inner) {}

  protected:
    std::unique_ptr<File> openFile(std::string_view path, FileOpen mode,
                                   FileAccess access) override {
        if (path == kAlarmCodeFile && mode != FileOpen::ReadExisting) return nullptr;
        return m_inner.open(path, mode, access);
    }
    bool createDirectory(std::string_view path, FileAccess access) override {
        return m_inner.makeDirectory(path, access);
    }

  private:
    FileSystem& m_inner;
};

TEST_F(ParameterFilesTest, AReadOnlyAlarmCodeIsRead) {
    writeFile(path("alarmcode.txt"), "AB\r\nC");
    ReadOnlyAlarmCode readOnly(files);
    std::array<std::uint8_t, kAlarmCodeBufferSize> code{};
    code.fill('x');
    const AlarmCodeOutcome outcome = loadAlarmCode(readOnly, code);
    EXPECT_EQ(outcome.bytes, 5u);
    EXPECT_FALSE(outcome.created);
    // The converted bytes, and nothing of what the buffer held before.
    EXPECT_EQ(textOf(std::span(code).first(6)), std::string("AB\x07#C\0", 6));
    EXPECT_TRUE(std::all_of(code.begin() + 5, code.end(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace veskator::mainwin_test

namespace veskator::mainwin_test {
namespace {

// Device X read, then the technician types device Y's port: nothing built from X's image reaches
// Y (edits, clicks, loads are refused and say why) until Y has been read; what was typed for X
// before the change goes to X; Y's snapshot holds Y.
TEST_F(ParameterFilesTest, NothingOfOneDevicesImageReachesAnother) {
    sim::SimConfig otherConfig;
    otherConfig.memory = sim::defaultMemory();
    std::copy_n("9999", 5, otherConfig.memory.begin() + imageOffset({0, 0x60}));
    sim::CommunicatorSim other(otherConfig);
    ASSERT_TRUE(other.start());
    writeFile(path("site.par"), workspacePattern());
    openWindow();
    readDevice();
    const std::string xPort = std::to_string(sim->port());
    const std::string yPort = std::to_string(other.port());

    dialog->replaceText(kServerPort1, "5100");  // for X, still waiting for its second
    dialog->replaceText(kTargetPort, yPort);
    dialog->replaceText(kServerPort1, "5200");
    const bool emailWas = dialog->isChecked(kEmail);
    dialog->click(kEmail);
    askAndLoad("site.par");
    EXPECT_EQ(shown(kMessageWindow),
              "loading not started: the target changed: read the device first (Start/Go)");
    EXPECT_EQ(dialog->text(kServerPort1), "5100");
    EXPECT_EQ(dialog->isChecked(kEmail), emailWas);
    EXPECT_NE(shown(kStatusLine).find(kTextTargetChanged), std::string::npos);
    ASSERT_TRUE(pumpUntilSettled());
    pumpFor(3s);
    EXPECT_EQ(other.connectionCount(), 0);
    ASSERT_EQ(blockWrites().size(), 1u);
    EXPECT_EQ(deviceBytes(static_cast<std::size_t>(imageOffset({0, 0x60})), 5),
              std::string("5100\0", 5));

    // Y read: its own snapshot, then the file on Y alone.
    sim->clearEvents();
    dialog->click(kStartGo);
    ASSERT_TRUE(pumpUntil([&] { return state.holdsDataOf({"127.0.0.1", other.port()}); }));
    EXPECT_EQ(dialog->text(kServerPort1), "9999");
    askAndLoad("site.par");
    const std::string snapshot =
        "program/snapshots/2026-12-08_14-03-22_127.0.0.1_" + yPort + ".bin";
    EXPECT_EQ(shown(kMessageWindow), "loading; snapshot saved: " + snapshot);
    const sim::SimMemory y = other.memory();
    EXPECT_EQ(readFile(path(snapshot)).substr(0, kReceiveAreaSize),
              std::string(y.begin(), y.begin() + kReceiveAreaSize));
    ASSERT_TRUE(pumpUntil([&] { return settled() && other.openConnections() == 0; }));
    const sim::SimMemory written = other.memory();
    EXPECT_EQ(std::string(written.begin(), written.begin() + kImageSize),
              workspacePattern().substr(0, kImageSize));
    EXPECT_TRUE(sim->events().empty()) << "X got " << sim->events().size() << " events";
    EXPECT_NE(xPort, yPort);
}

}  // namespace
}  // namespace veskator::mainwin_test
