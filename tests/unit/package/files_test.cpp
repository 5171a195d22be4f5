#include "package/files.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "package_image.h"
#include "platform/files.h"
#include "support/host_fixture.h"

namespace {

using namespace package;
using platform::FaultKind;

class FilesTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        updater::ResetUpdateState();
        ResetFreeSpaceCache();
        ResetTemporaryNames();
    }
    // Names in the folder of drive C:, to see that no temporary file stays.
    std::vector<std::string> FilesOnC() const {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(platform::HostPath("C:\\")))
            names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(FilesTest, ReadWholeFileGivesExactlyTheContent) {
    platform::HostWriteFile("C:\\A.BIN", std::string("a\0b", 3));
    std::uint32_t length = 99;
    const platform::HeapBlock block = ReadWholeFile("C:\\A.BIN", &length);
    ASSERT_TRUE(block);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(std::string(block.data(), block.data() + block.size()), std::string("a\0b", 3));
    platform::HostWriteFile("C:\\EMPTY", "");
    EXPECT_TRUE(ReadWholeFile("C:\\EMPTY", nullptr));
}

TEST_F(FilesTest, ReadWholeFileFailsOnEveryStep) {
    platform::HostWriteFile("C:\\A.BIN", "content");
    EXPECT_FALSE(ReadWholeFile("C:\\MISSING", nullptr));
    for (FaultKind kind : {FaultKind::Open, FaultKind::FileSize, FaultKind::Allocate,
                           FaultKind::Read}) {
        platform::HostPlanFault(kind, 1);
        std::uint32_t length = 99;
        EXPECT_FALSE(ReadWholeFile("C:\\A.BIN", &length)) << int(kind);
        EXPECT_EQ(length, 99u);
        EXPECT_EQ(platform::HostFaultsFired(kind), 1);
    }
}

TEST_F(FilesTest, WriteWholeFileCreatesReplacesAndStamps) {
    const platform::FileTime time = 130'000'000'000'000'000;
    EXPECT_EQ(WriteWholeFile("C:\\EMPTY", {}, nullptr), 1);
    EXPECT_EQ(platform::HostReadFile("C:\\EMPTY"), "");
    platform::HostWriteFile("C:\\A.TXT", "a much longer old content");
    EXPECT_EQ(WriteWholeFile("C:\\A.TXT", package_test::Bytes("new"), &time), 1);
    const platform::FileTimes times = platform::HostFileTimes("C:\\A.TXT");
    EXPECT_EQ(times.creation, time);
    EXPECT_EQ(times.lastAccess, time);
    EXPECT_EQ(times.lastWrite, time);
    EXPECT_EQ(platform::HostReadFile("C:\\A.TXT"), "new");
    EXPECT_EQ(FilesOnC(), (std::vector<std::string>{"A.TXT", "EMPTY", "TEMP"}));
    EXPECT_EQ(WriteWholeFile("C:\\NO\\A.TXT", package_test::Bytes("new"), nullptr), 0);
}

// Whatever step fails, the old file stays whole and no temporary file is
// left; each failure point is moved on until the write no longer meets it.
TEST_F(FilesTest, WriteWholeFileNeverLosesTheOldFile) {
    const platform::FileTime time = 130'000'000'000'000'000;
    for (FaultKind kind : {FaultKind::Create, FaultKind::Write, FaultKind::ShortWrite,
                           FaultKind::SetTime, FaultKind::Flush, FaultKind::Replace}) {
        for (bool persistent : {false, true}) {
            for (int countdown = 1;; ++countdown) {
                platform::HostWriteFile("C:\\A.TXT", "old");
                platform::HostClearFaults();
                platform::HostPlanFault(kind, countdown, persistent);
                const int result = WriteWholeFile("C:\\A.TXT", package_test::Bytes("new"), &time);
                const int fired = platform::HostFaultsFired(kind);
                platform::HostClearFaults();
                EXPECT_EQ(platform::HostReadFile("C:\\A.TXT"), result ? "new" : "old");
                EXPECT_EQ(FilesOnC(), (std::vector<std::string>{"A.TXT", "TEMP"}));
                if (fired == 0) {
                    EXPECT_GT(countdown, 1) << "the write never met fault kind " << static_cast<int>(kind);
                    EXPECT_EQ(result, 1);
                    break;
                }
                // The second stamp comes after the file is in place: failing,
                // it leaves the new file with the old one's creation time.
                if (kind == FaultKind::SetTime && countdown == 2) {
                    EXPECT_EQ(result, 1);
                    continue;
                }
                // A refused temporary name is stepped over; nothing else is retried.
                if (kind != FaultKind::Create || persistent) {
                    EXPECT_EQ(result, 0);
                }
            }
        }
    }
}

// The flush before the move runs on the user interface's thread: a large
// file is flushed as it is written, so that little is left for it.
TEST_F(FilesTest, ALargeFileIsFlushedAsItIsWritten) {
    const std::vector<std::uint8_t> piece(FileReplacement::FlushEvery / 4, 7);
    platform::HostPlanFault(FaultKind::Flush, 1);
    FileReplacement file;
    ASSERT_TRUE(file.Begin("C:\\BIG.DAT"));
    int written = 0;
    while (written < 16 && file.Write(piece)) ++written;
    EXPECT_EQ(platform::HostFaultsFired(FaultKind::Flush), 1);
    EXPECT_LT(written, 4);  // the write that filled FlushEvery flushed, and failed with it
    EXPECT_EQ(FilesOnC(), (std::vector<std::string>{"TEMP"}));
}

TEST_F(FilesTest, WriteWholeFileRefusesHiddenAndSystemFilesAsWindowsDoes) {
    for (std::uint32_t mark : {platform::AttributeHidden, platform::AttributeSystem}) {
        platform::HostWriteFile("C:\\A.TXT", "old");
        platform::SetAttributes("C:\\A.TXT", mark | platform::AttributeArchive);
        EXPECT_EQ(WriteWholeFile("C:\\A.TXT", package_test::Bytes("new"), nullptr), 0) << mark;
        EXPECT_EQ(platform::HostReadFile("C:\\A.TXT"), "old");
        EXPECT_EQ(platform::GetAttributes("C:\\A.TXT"), mark | platform::AttributeArchive);
        EXPECT_EQ(FilesOnC(), (std::vector<std::string>{"A.TXT", "TEMP"}));
    }
    platform::SetAttributes("C:\\A.TXT", platform::AttributeArchive);
    EXPECT_EQ(WriteWholeFile("C:\\A.TXT", package_test::Bytes("new"), nullptr), 1);
}

TEST_F(FilesTest, WriteWholeFileStepsOverLeftoverTemporaryNamesAndNeverTakesThem) {
    const auto leftover = [](int i) {
        char name[24];
        std::snprintf(name, sizeof name, "C:\\~upd%x.tmp", i);
        return std::string(name);
    };
    for (int i = 0; i < 4; ++i) platform::HostWriteFile(leftover(i).c_str(), "theirs");
    EXPECT_EQ(WriteWholeFile("C:\\A.TXT", package_test::Bytes("new"), nullptr), 1);
    EXPECT_EQ(platform::HostReadFile("C:\\A.TXT"), "new");
    // With every name it tries taken, the write fails, and each file that
    // holds a name stays as it was.
    ResetTemporaryNames();
    for (int i = 0; i < 16; ++i) platform::HostWriteFile(leftover(i).c_str(), "theirs");
    EXPECT_EQ(WriteWholeFile("C:\\A.TXT", package_test::Bytes("newer"), nullptr), 0);
    EXPECT_EQ(platform::HostReadFile("C:\\A.TXT"), "new");
    for (int i = 0; i < 16; ++i) EXPECT_EQ(platform::HostReadFile(leftover(i).c_str()), "theirs") << i;
}

// A target at the longest path the file calls take: the temporary file
// beside it must fit there too, whatever the counter has reached.
TEST_F(FilesTest, WriteWholeFileFitsItsTemporaryFileBesideTheLongestPath) {
    // A one-character name leaves room for no more than one character beside it.
    for (const std::string name : {"\\GAME.DAT", "\\A"}) {
        const std::size_t folderLength = platform::PathCapacity - 1 - name.size();
        std::string folder = "C:";
        while (folder.size() < folderLength) {
            folder += "\\" + std::string(std::min<std::size_t>(50, folderLength - 1 - folder.size()), 'd');
        }
        std::filesystem::create_directories(platform::HostPath(folder.c_str()));
        const std::string target = folder + name;
        ASSERT_EQ(target.size(), platform::PathCapacity - 1);
        for (int write = 0; write < 20; ++write) {
            ASSERT_EQ(WriteWholeFile(target.c_str(), package_test::Bytes("new"), nullptr), 1) << name << write;
        }
        EXPECT_EQ(platform::HostReadFile(target.c_str()), "new");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(platform::HostPath(folder.c_str())),
                                std::filesystem::directory_iterator()),
                  1)
            << name;
    }
}

TEST(AppendPath, JoinsWithOneSeparatorAndASecondZero) {
    struct Case { const char* path; const char* name; const char* joined; };
    for (const Case c : {Case{"C:\\GAME", "SAVE", "C:\\GAME\\SAVE"},
                         Case{"C:\\GAME\\", "SAVE", "C:\\GAME\\SAVE"},
                         Case{"C:/GAME/", "SAVE", "C:/GAME/SAVE"},
                         Case{"", "SAVE", "SAVE"},
                         Case{"C:\\GAME", "", "C:\\GAME\\"},
                         // 0x95 0x5C is one character: its trail byte is no separator.
                         Case{"C:\\\x95\x5C", "SAVE", "C:\\\x95\x5C\\SAVE"},
                         Case{"C:\\\x95\x5C\\", "SAVE", "C:\\\x95\x5C\\SAVE"}}) {
        std::array<char, 32> buffer;
        buffer.fill('#');
        std::strcpy(buffer.data(), c.path);
        EXPECT_TRUE(AppendPath(buffer, c.name)) << c.path;
        EXPECT_STREQ(buffer.data(), c.joined);
        EXPECT_EQ(buffer[std::strlen(c.joined) + 1], '\0') << c.path;
    }
}

TEST(AppendPath, EmptiesAPathThatWouldNotFit) {
    // "C:\A" + "\" + "BC" + two zero bytes: 9 bytes.
    std::array<char, 9> exact{"C:\\A"};
    EXPECT_TRUE(AppendPath(exact, "BC"));
    EXPECT_STREQ(exact.data(), "C:\\A\\BC");
    std::array<char, 8> tooSmall{"C:\\A"};
    EXPECT_FALSE(AppendPath(tooSmall, "BC"));
    EXPECT_STREQ(tooSmall.data(), "");
    std::array<char, 4> unterminated{'C', ':', '\\', 'A'};
    EXPECT_FALSE(AppendPath(unterminated, "B"));
    EXPECT_EQ(unterminated[0], '\0');
}

TEST_F(FilesTest, FreeSpaceFromTheExtendedQueryLookedUpOnce) {
    platform::HostSetFreeSpace('C', 5'000'000'000, 9'000'000'000, 6'000'000'000);
    std::uint64_t free = 0, total = 0, allFree = 0;
    ASSERT_EQ(QueryFreeSpace("C:", &free, &total, &allFree), 1);
    EXPECT_EQ(free, 5'000'000'000u);
    EXPECT_EQ(total, 9'000'000'000u);
    EXPECT_EQ(allFree, 6'000'000'000u);
    EXPECT_EQ(platform::HostExtendedQueryPath(), "C:\\");  // the root, not the current folder
    ASSERT_EQ(QueryFreeSpace("C:\\GAME", &free, &total, nullptr), 1);
    EXPECT_EQ(platform::HostExtendedQueryPath(), "C:\\GAME");
    EXPECT_EQ(platform::HostExtendedQueryLookups(), 1);
    const SpaceShortfall shortfall = FreeSpaceShortfall("C:\\GAME\\SAVE", 5'000'000'001);
    EXPECT_EQ(platform::HostExtendedQueryPath(), "C:\\");
    EXPECT_EQ(shortfall.bytes, 1u);
}

TEST_F(FilesTest, FreeSpaceFallsBackToClustersIn64Bits) {
    platform::HostSetClusterCounts('C', 64, 512, 200'000, 300'000);
    for (auto mode : {platform::ExtendedQuery::Unavailable, platform::ExtendedQuery::Failing}) {
        ResetFreeSpaceCache();
        platform::HostSetExtendedQuery(mode);
        std::uint64_t free = 0, total = 0, allFree = 0;
        ASSERT_EQ(QueryFreeSpace("C:", &free, &total, &allFree), 1);
        EXPECT_EQ(free, 6'553'600'000u);
        EXPECT_EQ(total, 9'830'400'000u);
        EXPECT_EQ(allFree, free);
    }
}

TEST_F(FilesTest, FreeSpaceLookupIsRetriedUntilFound) {
    platform::HostSetExtendedQuery(platform::ExtendedQuery::Unavailable);
    std::uint64_t free = 1, total = 2, allFree = 3;
    EXPECT_EQ(QueryFreeSpace("C:", &free, &total, &allFree), 0);  // both fail
    EXPECT_EQ(free, 1u);
    EXPECT_EQ(total, 2u);
    EXPECT_EQ(allFree, 3u);
    EXPECT_EQ(QueryFreeSpace("C:", &free, &total, &allFree), 0);
    EXPECT_EQ(platform::HostExtendedQueryLookups(), 2);
    platform::HostSetExtendedQuery(platform::ExtendedQuery::Available);
    platform::HostSetFreeSpace('C', 10, 20, 30);
    EXPECT_EQ(QueryFreeSpace("C:", &free, &total, &allFree), 1);
    EXPECT_EQ(QueryFreeSpace("C:", &free, &total, &allFree), 1);
    EXPECT_EQ(platform::HostExtendedQueryLookups(), 3);
    EXPECT_EQ(free, 10u);
}

}  // namespace
