// Snapshots never replace one another and a run keeps every one it made; what holds the device's
// settings is readable by its owner only.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "link/link_logs.h"
#include "model/parameter_files.h"
#include "tests/support/patient_network.h"

namespace veskator {
namespace {

namespace fs = std::filesystem;

class SnapshotsTest : public ::testing::Test {
  protected:
    ~SnapshotsTest() override { fs::remove_all(dir); }
    std::set<std::string> snapshots() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir / "program/snapshots"))
            names.insert(e.path().filename().string());
        return names;
    }
    static unsigned modeOf(const fs::path& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
    }

    fs::path dir = test_support::makeTempDir("veskator-snapshots");
    PosixFileSystem files{dir};
    ParameterWorkspace workspace;
    const LocalTime time{2026, 12, 8, 14, 3, 22};
};

TEST_F(SnapshotsTest, LongHostsPortsAndTheSameSecondEachGetASnapshotOfTheirOwn) {
    SnapshotKeeper keeper(files);
    const std::string longHost(300, 'h');
    std::set<std::string> paths;
    for (const Target& device : {Target{longHost, 4000}, Target{longHost, 4001},
                                 Target{longHost + "x", 4000}, Target{longHost, 4000}}) {
        workspace.bytes()[0] = static_cast<std::uint8_t>(paths.size());
        const SnapshotOutcome outcome = keeper.save(workspace, time, device);
        ASSERT_TRUE(outcome.saved) << outcome.path;
        EXPECT_LE(fs::path(outcome.path).filename().string().size(), 244u);
        // Appended: GCC 12 at -O3 takes a one-character prefix insert for an overlapping copy.
        std::string port(1, '_');
        port += std::to_string(device.port);
        EXPECT_NE(outcome.path.find(port), std::string::npos);
        paths.insert(outcome.path);
        std::ifstream in(dir / outcome.path, std::ios::binary);
        EXPECT_EQ(in.get(), static_cast<int>(paths.size() - 1));
    }
    EXPECT_EQ(paths.size(), 4u);
    EXPECT_EQ(snapshots().size(), 4u);
}

TEST_F(SnapshotsTest, ARunKeepsEverySnapshotItMadeAndPrunesOnlyOlderOnes) {
    fs::create_directories(dir / "program/snapshots");
    for (int i = 0; i < 10; ++i) {
        std::ofstream(dir / ("program/snapshots/2025-01-01_00-00-0" + std::to_string(i) +
                             "_10.0.0.9_4000.bin"))
            << "older";
    }
    std::ofstream(dir / "program/snapshots/notes.txt") << "the technician's own";
    SnapshotKeeper keeper(files);
    for (std::uint16_t port = 5000; port < 5055; ++port) {
        ASSERT_TRUE(keeper.save(workspace, time, {"127.0.0.1", port}).saved);
    }
    const std::set<std::string> kept = snapshots();
    EXPECT_EQ(kept.size(), 56u);  // the 55 of this run, and the technician's file
    EXPECT_TRUE(kept.contains("notes.txt"));
    EXPECT_TRUE(kept.contains("2026-12-08_14-03-22_127.0.0.1_5054.bin"));

    // A later run keeps the newest 50 and its own.
    SnapshotKeeper later(files);
    ASSERT_TRUE(later.save(workspace, {2026, 12, 9, 8, 0, 0}, {"127.0.0.1", 4000}).saved);
    EXPECT_EQ(snapshots().size(), 51u);
}

TEST_F(SnapshotsTest, WhatHoldsTheDevicesSettingsIsTheOwnersAlone) {
    ASSERT_TRUE(saveParameterFile(files, workspace, "site.bin"));
    SnapshotKeeper keeper(files);
    const SnapshotOutcome snapshot = keeper.save(workspace, time, {"127.0.0.1", 4000});
    ASSERT_TRUE(snapshot.saved);
    LinkLogFiles logs(files);
    logs.start();
    logs.beginExchange();
    EXPECT_EQ(modeOf(dir / "site.bin"), 0600u);
    EXPECT_EQ(modeOf(dir / snapshot.path), 0600u);
    EXPECT_EQ(modeOf(dir / "program/snapshots"), 0700u);
    EXPECT_EQ(modeOf(dir / "tempreceiveddata.txt"), 0600u);
    EXPECT_EQ(modeOf(dir / "temp1.txt"), 0600u);

    // A file its owner opened up stays as the owner left it.
    fs::permissions(dir / "site.bin", fs::perms(0644), fs::perm_options::replace);
    ASSERT_TRUE(saveParameterFile(files, workspace, "site.bin"));
    EXPECT_EQ(modeOf(dir / "site.bin"), 0644u);
}

}  // namespace
}  // namespace veskator
