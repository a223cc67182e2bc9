// Parameter files saved and loaded from the main window, and the external alarm code.

#include "mainwin/parameter_files.h"

#include <algorithm>
#include <array>
#include <functional>

#include "mainwin/main_fields.h"
#include "resources/main_dialog_template.h"
#include "tests/mainwin/mainwin_fixture.h"

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
    EXPECT_EQ(shown(kMessageWindow), kTextLoadingCompleted);
    const auto writes = blockWrites();
    ASSERT_EQ(writes.size(), 8u);
    for (int b = 0; b < kBlockCount; ++b) {
        EXPECT_EQ(writes[b].number, b);
        EXPECT_EQ(textOf(writes[b].data), pattern.substr(b * kBlockSize, kBlockSize)) << "A" << b;
    }
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
    EXPECT_EQ(engine->status().writeAllPending, false);
    EXPECT_FALSE(std::filesystem::exists(path("program/loadingfile.txt")));

    // "YES" after "NO".
    dialog->click(kLoad);
    EXPECT_EQ(dlg->loadConfirmPending(), true);
    dialog->click(kNo);
    EXPECT_EQ(shown(kMessageWindow), "");
    dialog->click(kYes);
    EXPECT_EQ(workspace(), pattern);
    EXPECT_EQ(engine->status().writeAllPending, false);
    EXPECT_EQ(shown(kMessageWindow), "");
    pumpFor(1500ms);
    EXPECT_EQ(sim->connectionCount(), 0);
}

TEST_F(ParameterFilesTest, AMissingLoadFileOrAnUncreatableSaveNameIsReported) {
    openWindow();
    const std::string pattern = workspacePattern();
    fillWorkspace(pattern);

    askAndLoad("missing.par");
    EXPECT_EQ(shown(kMessageWindow), kTextLoadingFailed);
    EXPECT_EQ(workspace(), pattern);
    EXPECT_EQ(readFile(path("program/loadingfile.txt")), "missing.par");
    pumpFor(3000ms);
    EXPECT_EQ(sim->connectionCount(), 0);
    EXPECT_FALSE(state.imageHoldsDeviceData);

    dialog->replaceText(kSaveName, "nodir/x");
    dialog->click(kSave);
    EXPECT_EQ(shown(kMessageWindow), kTextSavingFailed);
    EXPECT_EQ(readFile(path("program/savingfile.txt")), "nodir/x");
    EXPECT_FALSE(std::filesystem::exists(path("nodir")));
    pumpFor(1000ms);
    EXPECT_EQ(sim->connectionCount(), 0);
}

TEST_F(ParameterFilesTest, AFileShorterThanTheImageIsRefusedBeforeAnyRead) {
    openWindow();
    for (std::size_t size : {std::size_t{0}, std::size_t{100}, kImageSize - 1}) {
        SCOPED_TRACE(size);
        writeFile(path("short.par"), std::string(size, 'S'));
        askAndLoad("short.par");
        EXPECT_EQ(shown(kMessageWindow), "loading failed: short.par holds " + std::to_string(size) +
                                             " bytes, the image needs 1024");
        EXPECT_EQ(workspace(), std::string(kWorkspaceSize, '\0'));
        EXPECT_FALSE(state.imageHoldsDeviceData);
    }
    pumpFor(3000ms);
    EXPECT_EQ(sim->connectionCount(), 0);
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
             return engine->status().fullReadPending &&
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
        ASSERT_TRUE(pumpUntilSettled());
        EXPECT_EQ(shown(kMessageWindow), kTextLoadingCompleted);
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
    EXPECT_EQ(state.optionCopies.bytes(), (std::array<std::uint8_t, 4>{0x01, 0x08, 0x02, 0x00}));
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

TEST_F(ParameterFilesTest, AlarmCodeLineEndsAreConvertedIntoTheBufferAndTheBackup) {
    openWindow();
    writeFile(path("alarmcode.txt"), "AB\r\nC");
    // An older, longer backup keeps its bytes after the new ones.
    const std::string oldBackup(200, '=');
    writeFile(path("alarmcode.bak"), oldBackup);

    dialog->click(kAlarmCode);
    const std::string converted = "AB\x07#C";
    EXPECT_EQ(readFile(path("alarmcode.bak")), converted + oldBackup.substr(5));
    EXPECT_TRUE(engine->status().alarmDownloadPending);
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
        EXPECT_EQ(engine->status().alarmDownloadPending, false);
        pumpFor(3000ms);
        EXPECT_EQ(sim->connectionCount(), 1) << "only the first download connected";
    }
}

// A file system on which the alarm code can be read but not opened for writing, as a read-only
// file is for anyone but root.
class ReadOnlyAlarmCode final : public FileSystem {
  public:
    explicit ReadOnlyAlarmCode(FileSystem& inner) : m_inner(inner) {}
    std::unique_ptr<File> open(std::string_view path, FileOpen mode) override {
        if (path == kAlarmCodeFile && mode != FileOpen::ReadExisting) return nullptr;
        return m_inner.open(path, mode);
    }
    bool makeDirectory(std::string_view path) override { return m_inner.makeDirectory(path); }

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
