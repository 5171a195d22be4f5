#include "platform/shell.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/host/control.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;

class HostShell : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        std::filesystem::create_directories(root() / "disc");
        HostAddCdromDrive('E', (root() / "disc").string());
        HostWriteFile("E:\\movie\\op.avi", "op");
        HostWriteFile("E:\\movie\\sub\\ed.avi", "ed");
        HostWriteFile("E:\\readme.txt", "readme");
        MakeFolder("C:\\GAME");
    }
    int Copy(const char* from, const char* to, bool* aborted = nullptr) {
        bool ignored = false;
        return ShellCopy(nullptr, from, to, CopyNoConfirmation | CopyNoConfirmMakeFolder,
                         aborted ? aborted : &ignored);
    }
};

TEST_F(HostShell, FolderOntoExistingFolderIsNested) {
    ASSERT_EQ(Copy("E:\\movie\0", "C:\\GAME\0"), 0);
    EXPECT_EQ(HostReadFile("C:\\GAME\\movie\\op.avi"), "op");
    EXPECT_EQ(HostReadFile("C:\\GAME\\movie\\sub\\ed.avi"), "ed");
    // Files from a disc arrive read-only.
    EXPECT_EQ(GetAttributes("C:\\GAME\\movie\\op.avi"), AttributeReadOnly);
    // Named whole, though the second byte of 表 is a backslash.
    HostWriteFile("E:\\表\\ed.avi", "ed");
    ASSERT_EQ(Copy("E:\\表\0", "C:\\GAME\0"), 0);
    EXPECT_EQ(HostReadFile("C:\\GAME\\表\\ed.avi"), "ed");
    // With a separator after its name, the folder gives its content alone.
    ASSERT_EQ(Copy("E:\\movie\\\0", "C:\\GAME\0"), 0);
    EXPECT_EQ(HostReadFile("C:\\GAME\\op.avi"), "op");
    EXPECT_EQ(HostReadFile("C:\\GAME\\sub\\ed.avi"), "ed");
}

TEST_F(HostShell, FileToNewPathBecomesThatFileAndFoldersAreMade) {
    ASSERT_EQ(Copy("E:\\readme.txt\0", "C:\\GAME\\doc\\new.txt\0"), 0);
    EXPECT_EQ(HostReadFile("C:\\GAME\\doc\\new.txt"), "readme");
    ASSERT_EQ(Copy("E:\\readme.txt\0", "C:\\GAME\0"), 0);
    EXPECT_EQ(HostReadFile("C:\\GAME\\readme.txt"), "readme");
    // An existing file is replaced without asking.
    HostWriteFile("E:\\readme.txt", "second");
    ASSERT_EQ(Copy("E:\\readme.txt\0", "C:\\GAME\\doc\\new.txt\0"), 0);
    EXPECT_EQ(HostReadFile("C:\\GAME\\doc\\new.txt"), "second");
}

TEST_F(HostShell, MissingSourceFailureAndAbort) {
    EXPECT_EQ(Copy("E:\\none\0", "C:\\GAME\0"), 0x402);
    EXPECT_NE(Copy("C:\\GAME\0", "C:\\GAME\\inside\0"), 0);  // never into itself
    HostFailShellCopy(0x75);
    EXPECT_EQ(Copy("E:\\readme.txt\0", "C:\\GAME\\x.txt\0"), 0x75);
    EXPECT_FALSE(HostReadFile("C:\\GAME\\x.txt"));
    HostFailShellCopy(0);
    HostAbortShellCopy(true);
    bool aborted = false;
    EXPECT_NE(Copy("E:\\readme.txt\0", "C:\\GAME\\x.txt\0", &aborted), 0);
    EXPECT_TRUE(aborted);

    ASSERT_EQ(HostRecordedCopies().size(), 4u);
    EXPECT_EQ(HostRecordedCopies()[2].from, "E:\\readme.txt");
    EXPECT_EQ(HostRecordedCopies()[2].to, "C:\\GAME\\x.txt");
    EXPECT_EQ(HostRecordedCopies()[2].flags, 0x210);
}

}  // namespace
