// Files on the real file system, in a temporary directory.
#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace veskator {
namespace {

namespace fs = std::filesystem;

class FileSystemTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    fs::path path(const std::string& name) const { return base / name; }
    std::string contentOf(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }
    void put(const std::string& name, const std::string& content) const {
        std::ofstream(path(name), std::ios::binary) << content;
    }
    // Names in the directory, so that a test sees any temporary file left behind.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(base))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

    QTemporaryDir dir;
    fs::path base = dir.path().toStdString();
    PosixFileSystem files{base};
};

TEST_F(FileSystemTest, AtomicWriteReplacesTheWholeFileAndKeepsItsPermissions) {
    put("params.txt", "a long old content that is longer than the new one");
    fs::permissions(path("params.txt"), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(files.writeFileAtomically("params.txt", std::string("new\0\xff", 5)));
    EXPECT_EQ(contentOf("params.txt"), std::string("new\0\xff", 5));
    EXPECT_EQ(fs::status(path("params.txt")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    // A missing file is created, readable as one that open() creates; an absolute path works.
    EXPECT_TRUE(files.writeFileAtomically(path("fresh.txt").string(), ""));
    EXPECT_TRUE(fs::exists(path("fresh.txt")));
    EXPECT_EQ(contentOf("fresh.txt"), "");
    EXPECT_EQ(fs::status(path("fresh.txt")).permissions() & fs::perms::owner_all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(names(), (std::vector<std::string>{"fresh.txt", "params.txt"}));
}

TEST_F(FileSystemTest, AFailedAtomicWriteLeavesTheOldFileAndNoTemporaryOne) {
    struct Case {
        const char* name;
        std::string path;
        std::function<void()> whileWriting;  // runs around the write; empty: nothing
    };
    // The disk filling up halfway through, as a file size limit makes it.
    const auto withFullDisk = [this](const std::string& target) {
        return [this, target] {
            struct sigaction ignore {};
            struct sigaction previous {};
            ignore.sa_handler = SIG_IGN;
            ::sigaction(SIGXFSZ, &ignore, &previous);
            rlimit old{};
            ::getrlimit(RLIMIT_FSIZE, &old);
            rlimit small = old;
            small.rlim_cur = 4;
            ::setrlimit(RLIMIT_FSIZE, &small);
            EXPECT_FALSE(files.writeFileAtomically(target, "0123456789"));
            ::setrlimit(RLIMIT_FSIZE, &old);
            ::sigaction(SIGXFSZ, &previous, nullptr);
        };
    };
    put("old.txt", "old content");
    fs::create_directory(path("folder"));
    const std::vector<Case> cases = {
        {"the write fails", "old.txt", withFullDisk("old.txt")},
        {"the target is a directory", "folder", {}},
        {"the directory is missing", "missing/new.txt", {}},
        {"no path", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.whileWriting) {
            c.whileWriting();
        } else {
            EXPECT_FALSE(files.writeFileAtomically(c.path, "new"));
        }
        EXPECT_EQ(contentOf("old.txt"), "old content");
        EXPECT_TRUE(fs::is_directory(path("folder")));
        EXPECT_EQ(names(), (std::vector<std::string>{"folder", "old.txt"}));
    }
    // The default of the interface writes in place, where a file system cannot do better.
    FileSystem& seam = files;
    EXPECT_TRUE(seam.FileSystem::writeFileAtomically("old.txt", "in place"));
    EXPECT_EQ(contentOf("old.txt"), "in place");
}

TEST_F(FileSystemTest, ListingNamesTheRegularFilesOfADirectory) {
    fs::create_directories(path("dir/sub"));
    put("dir/a.bin", "a");
    put("dir/.hidden", "h");
    put("outside.bin", "o");
    fs::create_symlink(path("outside.bin"), path("dir/link.bin"));
    fs::create_symlink(path("nowhere"), path("dir/dangling"));
    for (const std::string& dirName : {std::string("dir"), path("dir").string()}) {
        std::vector<std::string> listed = files.listFiles(dirName);
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, (std::vector<std::string>{".hidden", "a.bin", "link.bin"})) << dirName;
    }
    EXPECT_TRUE(files.listFiles("missing").empty());
    EXPECT_TRUE(files.listFiles("outside.bin").empty());
}

}  // namespace
}  // namespace veskator
