#include "tools/updpack/build.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/format.h"
#include "platform/host/control.h"
#include "platform/text.h"
#include "support/host_fixture.h"
#include "tools/test_files.h"
#include "tools/test_images.h"
#include "tools/updpack/commands.h"
#include "tools/updpack/native_files.h"
#include "updater/state.h"

namespace updpack {
namespace {

using namespace test_images;

class BuildTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        updater::ResetUpdateState();
        folder_ = (root() / "update").string();
        std::filesystem::create_directories(folder_);
        std::filesystem::create_directories(root() / "bin");
        std::string error;
        ASSERT_TRUE(WriteTestFile((root() / "bin" / "updater.exe").string(),
                                    Image({{".text", Filled(100, 1)}, {".rsrc", {}}}, {}), &error));
    }
    // A file named by the cp932 `name` in UTF-8, as Linux keeps names.
    void Write(const std::string& name, const std::string& content) {
        std::string utf8;
        ASSERT_TRUE(platform::Utf8FromCp932(name, &utf8));
        std::ofstream(std::filesystem::path(folder_) / std::u8string(utf8.begin(), utf8.end()), std::ios::binary)
            << content;
    }
    int Build(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{folder_, "-o", Output()};
        args.insert(args.end(), extra.begin(), extra.end());
        return BuildCommand(args, (root() / "bin" / "updpack").string());
    }
    std::string Output() const { return (root() / "UPDATE.EXE").string(); }

    std::string folder_;
};

std::vector<std::string> EntryNames(const std::string& exe) {
    const Bytes image = PackageInExe(exe);
    EXPECT_FALSE(image.empty()) << exe;
    std::vector<std::string> names;
    const auto directory = package::LoadPackageDirectory(image);
    for (const auto& entry : directory.entries()) names.push_back(entry.name);
    return names;
}

TEST_F(BuildTest, PacksWhatTheUpdaterWillLookForIntoTheStubBesideTheTool) {
    Write("UPDATE.INI", "[SETUP]\nCompanyName=M\nGameTitle=G\nGameClass=C\nGameDir=D\nAgreementText=AGREE.TXT\n"
                        "[UPDATE]\nUpdateFile00=u,system\\PATCH.BIN\nUpdateFile01=2,README.TXT\n"
                        "UpdateFile02=d,セーブ.dat\n");
    // Names in Japanese are UTF-8 on the disk, cp932 in UPDATE.INI and the
    // package, and found case-blind all the same.
    for (const char* name : {"AGREE.TXT", "PATCH.BIN", "README.TXT", "UNUSED.TXT", "セーブ.DAT"}) Write(name, name);
    ASSERT_EQ(Build(), 0);
    EXPECT_EQ(EntryNames(Output()),
              (std::vector<std::string>{"UPDATE.INI", "AGREE.TXT", "PATCH.BIN", "README.TXT", "セーブ.dat"}));
}

TEST_F(BuildTest, RefusesAFolderThatWouldFailAtThePlayer) {
    Write("UPDATE.INI", "[SETUP]\nCompanyName=M\nGameTitle=G\nGameClass=C\nGameDir=D\n[UPDATE]\nUpdateFile00=GONE.DLL\n");
    EXPECT_EQ(Build(), 1);
    EXPECT_FALSE(std::filesystem::exists(Output()));
}

TEST_F(BuildTest, AFileThatCantBeReadWhilePackingLeavesNoExe) {
    Write("UPDATE.INI", "[SETUP]\nCompanyName=M\nGameTitle=G\nGameClass=C\nGameDir=D\n[UPDATE]\n"
                        "UpdateFile00=A.DLL\nUpdateFile01=B.DLL\nUpdateFile02=C.DLL\n");
    for (const char* name : {"A.DLL", "B.DLL", "C.DLL"}) Write(name, std::string(100000, name[0]));
    // Reading works for the first entries and fails from the third on.
    platform::HostPlanFault(platform::FaultKind::Read, 3, true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Build(), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot read"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Output()));
}

TEST_F(BuildTest, TakesTheStubGiven) {
    Write("UPDATE.INI", "[SETUP]\nCompanyName=M\nGameTitle=G\nGameClass=C\nGameDir=D\n[UPDATE]\nUpdateFile00=A.DLL\n");
    Write("A.DLL", "a");
    // A stub that isn't there is told before any file is packed.
    platform::HostPlanFault(platform::FaultKind::Read, 1, true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Build({"--stub", (root() / "none.exe").string()}), 1);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("none.exe"), std::string::npos) << told;
    EXPECT_EQ(told.find("cannot read"), std::string::npos) << told;
    EXPECT_FALSE(std::filesystem::exists(Output()));
    platform::HostClearFaults();
    std::filesystem::rename(root() / "bin" / "updater.exe", root() / "other.exe");
    EXPECT_EQ(Build({"--stub", (root() / "other.exe").string()}), 0);
}

// An exe replaces only an updater made earlier: an output mistyped as one
// of the update's own files, the game's exe or the stub leaves it alone.
TEST_F(BuildTest, ReplacesNoFileButAnEarlierUpdater) {
    Write("UPDATE.INI", "[SETUP]\nCompanyName=M\nGameTitle=G\nGameClass=C\nGameDir=D\n[UPDATE]\nUpdateFile00=README.TXT\n");
    Write("README.TXT", "read me");
    const std::string stub = (root() / "bin" / "updater.exe").string();
    const std::string game = (root() / "GAME.EXE").string();
    std::filesystem::copy_file(stub, game);
    const auto refused = [&](const std::string& target, const std::string& why) {
        std::string error;
        const auto before = ReadNativeFile(target, &error);
        testing::internal::CaptureStderr();
        EXPECT_EQ(BuildCommand(std::vector<std::string>{folder_, "-o", target}, (root() / "bin" / "updpack").string()),
                  1);
        const std::string told = testing::internal::GetCapturedStderr();
        EXPECT_NE(told.find(target + ": " + why + "; not replaced"), std::string::npos) << told;
        EXPECT_EQ(ReadNativeFile(target, &error), before) << target;
    };
    refused(folder_ + "/README.TXT", "already exists and is not an updater with a package in it");
    refused(game, "already exists and is not an updater with a package in it");
    // The exe of an earlier build is replaced, whichever stub it came from.
    ASSERT_EQ(Build(), 0);
    ASSERT_EQ(Build({"--stub", game}), 0);
    EXPECT_EQ(EntryNames(Output()), (std::vector<std::string>{"UPDATE.INI", "README.TXT"}));
    // The stub, though it may carry a package of its own (a demo), is not.
    std::filesystem::copy_file(Output(), stub, std::filesystem::copy_options::overwrite_existing);
    refused(stub, "is the stub stamped");
}

}  // namespace
}  // namespace updpack
