// Harmless local commands only.
#include "platform/qt/qt_command_runner.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace veskator {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST(QtCommandRunnerTest, OutputGoesToTheFileInTheWorkingDirectory) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::filesystem::path base = dir.path().toStdString();
    QtCommandRunner runner(base);

    EXPECT_EQ(runner.run("echo hi", "out.txt"), 0);
    EXPECT_EQ(readAll(base / "out.txt"), "hi\n");

    // The file is written anew, and error output joins the normal output.
    EXPECT_EQ(runner.run("echo one; echo two 1>&2; exit 3", "out.txt"), 3);
    EXPECT_EQ(readAll(base / "out.txt"), "one\ntwo\n");
}

TEST(QtCommandRunnerTest, UnwritableOutputFileFailsTheRun) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QtCommandRunner runner(dir.path().toStdString());
    EXPECT_EQ(runner.run("echo hi", "missing/dir/out.txt"), -1);
}

}  // namespace
}  // namespace veskator
