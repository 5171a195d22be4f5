#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>

#include "platform/host/control.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;

class HostFiles : public HostTest {};

TEST_F(HostFiles, DrivesMapToFoldersAndNamesMatchCaseBlind) {
    std::filesystem::create_directories(root() / "C" / "Game" / "Save");
    EXPECT_EQ(HostPath("C:\\GAME\\save\\a.dat"), (root() / "C" / "Game" / "Save" / "a.dat").string());
    EXPECT_EQ(HostPath("c:/game/SAVE"), (root() / "C" / "Game" / "Save").string());
    // Windows drops the dots and blanks ending the last name, one dot ending a folder's.
    EXPECT_EQ(HostPath("C:\\game.\\save\\a.dat. ."), (root() / "C" / "Game" / "Save" / "a.dat").string());
    EXPECT_EQ(HostPath("D:\\x"), "");
    EXPECT_EQ(HostPath("\\GAME"), "");
    Status status;
    EXPECT_FALSE(OpenForRead("relative.txt", &status));
    EXPECT_EQ(status.osError, 3u);
    EXPECT_EQ(TempFolder(), "C:\\TEMP\\");
    EXPECT_EQ(GetAttributes("C:\\TEMP"), AttributeFolder);
}

TEST_F(HostFiles, WritesAndReadsBack) {
    Status status;
    FileHandle out = CreateNewForWrite("C:\\TEMP\\a.bin", &status);
    ASSERT_TRUE(out) << status.osError;
    const std::uint8_t data[] = {1, 2, 3, 4, 5};
    std::uint32_t moved = 0;
    ASSERT_TRUE(WriteOnce(out.get(), data, &moved));
    EXPECT_EQ(moved, 5u);
    out.reset();

    FileHandle in = OpenForRead("c:\\temp\\A.BIN");
    ASSERT_TRUE(in);
    EXPECT_EQ(FileSize32(in.get()), 5u);
    std::uint8_t buffer[8] = {};
    ASSERT_TRUE(ReadOnce(in.get(), buffer, &moved));
    EXPECT_EQ(moved, 5u);
    EXPECT_EQ(buffer[4], 5);
}

TEST_F(HostFiles, MissingPathsGiveWindowsErrors) {
    Status status;
    EXPECT_FALSE(OpenForRead("C:\\TEMP\\none.txt", &status));
    EXPECT_EQ(status.osError, 2u);
    EXPECT_FALSE(CreateNewForWrite("C:\\NOFOLDER\\a.txt", &status));
    EXPECT_EQ(status.osError, 3u);
    EXPECT_EQ(GetAttributes("C:\\TEMP\\none.txt"), InvalidAttributes);
    EXPECT_FALSE(CreateNewForWrite("C:\\TEMP\\a?b.txt", &status));  // no such name on Windows
    EXPECT_EQ(status.osError, 123u);
    HostWriteFile("C:\\TEMP\\file.txt", "x");
    EXPECT_EQ(GetAttributes("C:\\TEMP\\file.txt\\"), InvalidAttributes);  // a separator ends a folder's path only
    EXPECT_FALSE(OpenForRead("C:\\TEMP", &status));  // a folder is no file
    EXPECT_EQ(status.osError, 5u);
}

TEST_F(HostFiles, APipeIsNoFileToReadAndIsNotWaitedFor) {
    ASSERT_EQ(::mkfifo(HostPath("C:\\TEMP\\pipe").c_str(), 0644), 0);
    Status status;
    EXPECT_FALSE(OpenForRead("C:\\TEMP\\PIPE", &status));
    EXPECT_EQ(status.osError, 5u);
}

TEST_F(HostFiles, ReadOnlyIsEnforcedEvenForRoot) {
    HostWriteFile("C:\\TEMP\\ro.txt", "old");
    ASSERT_TRUE(SetAttributes("C:\\TEMP\\ro.txt", AttributeReadOnly | AttributeHidden));
    EXPECT_EQ(GetAttributes("C:\\TEMP\\RO.TXT"), AttributeReadOnly | AttributeHidden);

    Status status;
    EXPECT_FALSE(CreateNewForWrite("C:\\TEMP\\ro.txt", &status));
    EXPECT_EQ(status.osError, 5u);
    EXPECT_EQ(RemoveFile("C:\\TEMP\\ro.txt").osError, 5u);
    HostWriteFile("C:\\TEMP\\new.txt", "new");
    EXPECT_EQ(MoveReplacing("C:\\TEMP\\new.txt", "C:\\TEMP\\ro.txt").osError, 5u);
    EXPECT_EQ(MoveReplacing("C:\\TEMP\\new.txt", "C:\\TEMP").osError, 5u);
    EXPECT_EQ(HostReadFile("C:\\TEMP\\ro.txt"), "old");

    ASSERT_TRUE(SetAttributes("C:\\TEMP\\ro.txt", AttributeNormal));
    EXPECT_EQ(GetAttributes("C:\\TEMP\\ro.txt"), AttributeNormal);
    ASSERT_TRUE(MoveReplacing("C:\\TEMP\\new.txt", "C:\\TEMP\\ro.txt"));
    EXPECT_EQ(HostReadFile("C:\\TEMP\\ro.txt"), "new");
    EXPECT_EQ(GetAttributes("C:\\TEMP\\new.txt"), InvalidAttributes);
}

TEST_F(HostFiles, AttributesTravelWithReplaceAndDropWithRemove) {
    HostWriteFile("C:\\TEMP\\hidden.tmp", "x");
    ASSERT_TRUE(SetAttributes("C:\\TEMP\\hidden.tmp", AttributeHidden));
    ASSERT_TRUE(MoveReplacing("C:\\TEMP\\hidden.tmp", "C:\\TEMP\\moved.txt"));
    EXPECT_EQ(GetAttributes("C:\\TEMP\\moved.txt"), AttributeHidden);
    ASSERT_TRUE(RemoveFile("C:\\TEMP\\moved.txt"));
    HostWriteFile("C:\\TEMP\\moved.txt", "again");
    EXPECT_EQ(GetAttributes("C:\\TEMP\\moved.txt"), AttributeNormal);
    EXPECT_EQ(CreateNewForWrite("C:\\TEMP\\moved.txt").get(), nullptr);
}

TEST_F(HostFiles, NamesInDoubleByteCharactersResolveAsOnWindows) {
    // 95 5C is one character whose second byte is a backslash's.
    ASSERT_TRUE(CreateNewForWrite("C:\\TEMP\\\x95\x5C.txt"));
    EXPECT_EQ(HostPath("C:\\TEMP\\\x95\x5C.TXT"), HostPath("C:\\TEMP") + "/\x95\x5C.txt");
    EXPECT_EQ(GetAttributes("C:\\TEMP\\\x95\x5C.txt"), AttributeNormal);
    // 83 41 and 83 61 differ only in a byte an ASCII fold would make one.
    HostWriteFile("C:\\TEMP\\\x83\x61.dat", "di");
    EXPECT_EQ(GetAttributes("C:\\TEMP\\\x83\x41.dat"), InvalidAttributes);
    EXPECT_EQ(HostReadFile("C:\\TEMP\\\x83\x61.DAT"), "di");
    // Full-width, Greek and Cyrillic letters have cases as ASCII ones do: 82 81 is 82 60's.
    HostWriteFile("C:\\TEMP\\\x82\x81.dat", "fw");
    EXPECT_EQ(HostReadFile("C:\\TEMP\\\x82\x60.DAT"), "fw");
    // So do the Roman numerals, in each of cp932's copies: FA 40 (IBM's small i) is 87 54's.
    HostWriteFile("C:\\TEMP\\\x87\x54.dat", "ri");
    EXPECT_EQ(HostReadFile("C:\\TEMP\\\xFA\x40.dat"), "ri");
}

TEST_F(HostFiles, FileTimesSetAllThree) {
    const FileTime stamp = 133'000'000'000'000'001ull;  // odd tick: 100 ns resolution kept
    FileHandle file = CreateNewForWrite("C:\\TEMP\\t.txt");
    ASSERT_TRUE(file);
    ASSERT_TRUE(SetFileTimes(file.get(), stamp));
    FileTime read = 0;
    ASSERT_TRUE(GetLastWriteTime(file.get(), &read));
    EXPECT_EQ(read, stamp);
    file.reset();
    const FileTimes times = HostFileTimes("C:\\TEMP\\t.txt");
    EXPECT_EQ(times.creation, stamp);
    EXPECT_EQ(times.lastAccess, stamp);
    EXPECT_EQ(times.lastWrite, stamp);
    // Before 1970 too: the FILETIME range is wider than the POSIX epoch's.
    HostSetFileTime("C:\\TEMP\\t.txt", 100'000'000'000'000'000ull);
    EXPECT_EQ(HostFileTime("C:\\TEMP\\t.txt"), 100'000'000'000'000'000ull);
}

// A package may stamp an entry with any 64-bit value. Windows gives a file
// none of 0, all ones or one with the high bit set: setting such a time
// fails and leaves the file's times alone. (The tests' own stamping takes
// them as times before 1970.)
TEST_F(HostFiles, TimesNoFileCanHaveAreRefused) {
    constexpr FileTime UnixEpoch = 116'444'736'000'000'000ull;
    for (const FileTime stamp : {0ull, 0x8000'0000'0000'0000ull, 0x8000'0000'0000'0001ull, 0xFFFF'FFFF'FFFF'FFFFull}) {
        SCOPED_TRACE(stamp);
        FileHandle file = CreateNewForWrite("C:\\TEMP\\t.txt");
        ASSERT_TRUE(file);
        ASSERT_TRUE(SetFileTimes(file.get(), UnixEpoch));
        EXPECT_EQ(SetFileTimes(file.get(), stamp).osError, 87u);
        FileTime read = 0;
        EXPECT_TRUE(GetLastWriteTime(file.get(), &read));
        EXPECT_EQ(read, UnixEpoch);
        file.reset();
        HostSetFileTime("C:\\TEMP\\t.txt", stamp);
        EXPECT_LT(HostFileTime("C:\\TEMP\\t.txt"), UnixEpoch);
        ASSERT_TRUE(RemoveFile("C:\\TEMP\\t.txt"));
    }
}

TEST_F(HostFiles, FoldersOneLevelAtATime) {
    EXPECT_EQ(MakeFolder("C:\\A\\B").osError, 3u);
    ASSERT_TRUE(MakeFolder("C:\\A"));
    EXPECT_EQ(MakeFolder("C:\\a").osError, 183u);
    ASSERT_TRUE(MakeFolder("C:\\a\\B"));
    EXPECT_EQ(RemoveFolder("C:\\A").osError, 145u);
    EXPECT_TRUE(RemoveFolder("C:\\A\\b"));
    EXPECT_TRUE(RemoveFolder("C:\\A"));
}

TEST_F(HostFiles, CdromWithoutDiscHasNoPaths) {
    std::filesystem::create_directories(root() / "disc");
    std::ofstream(root() / "disc" / "CHECK.DAT") << "1";
    HostAddCdromDrive('E', (root() / "disc").string());
    HostAddCdromDrive('F', "");
    EXPECT_EQ(GetAttributes("E:\\check.dat"), AttributeNormal);
    EXPECT_EQ(GetAttributes("F:\\CHECK.DAT"), InvalidAttributes);
    Status status;
    EXPECT_FALSE(OpenForRead("F:\\CHECK.DAT", &status));
    EXPECT_EQ(status.osError, 21u);
}

}  // namespace
