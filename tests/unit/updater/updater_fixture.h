// A simulated installed game and update packages for the updater's tests.
//
// The game lives in C:\GAME (SETUP.INI, an old README.TXT), its saves in
// C:\SAVE; the registry names both. Packages are written with the
// publisher's own writer, so the updater reads what a publisher ships.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "config/setup_ini.h"
#include "package/files.h"
#include "package/format.h"
#include "package/writer.h"
#include "platform/host/control.h"
#include "support/host_fixture.h"
#include "updater/state.h"

namespace updater_test {

inline constexpr const char* InstallFolder = "C:\\GAME";
inline constexpr const char* DataFolder = "C:\\SAVE";
inline constexpr const char* RegistryKey = "Software\\DemoSoft\\DemoGame";
// Entries are stamped 2021-01-01; files "already installed" are older or
// newer than that.
inline constexpr platform::FileTime EntryTime = 132539328000000000ULL;
inline constexpr platform::FileTime OlderTime = EntryTime - 10'000'000ULL * 86400;
inline constexpr platform::FileTime NewerTime = EntryTime + 10'000'000ULL * 86400;

// SETUP.INI of the installed game: the least the reader accepts, with the
// check files of discs 1 and 2.
inline std::string SetupIni() {
    return "[SETUP]\r\n"
           "CompanyName=DemoSoft\r\nGameTitle=デモゲーム\r\nGameDir=DemoGame\r\n"
           "GameClass=DemoClass\r\nGameExe=DEMO.EXE\r\nUninstExe=UNINST.EXE\r\n"
           "SetupBmp=SETUP.BMP\r\nInstallSelects=0\r\nShortcuts=0\r\n"
           "DiskCheckFile1=DISC1.CHK\r\nDiskCheckFile2=DISC2.CHK\r\n";
}

// Package entries by name; every content is stamped EntryTime.
using Entries = std::map<std::string, std::string>;

inline std::vector<std::uint8_t> MakePackage(const Entries& entries) {
    std::vector<package::WriterEntry> written;
    for (const auto& [name, content] : entries) {
        written.push_back({name, {content.begin(), content.end()}, EntryTime, true, false});
    }
    return package::WritePackage(written, package::WriterOptions{});
}

class UpdaterTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        updater::ResetUpdateState();
        config::ResetSetupInfo();
        package::ResetFreeSpaceCache();
    }

    // The installed game: files, SETUP.INI and (unless a test wants to
    // leave it out) the registry.
    void InstallGame(std::uint32_t installMode = 0, bool registered = true) {
        platform::HostWriteFile("C:\\GAME\\SETUP.INI", SetupIni());
        platform::HostWriteFile("C:\\GAME\\README.TXT", "old readme");
        platform::HostSetFileTime("C:\\GAME\\README.TXT", OlderTime);
        std::filesystem::create_directories(platform::HostPath("C:\\") + "/SAVE");
        if (!registered) return;
        platform::HostSetRegistryString(RegistryKey, "InstPath", InstallFolder);
        platform::HostSetRegistryString(RegistryKey, "DataPath", DataFolder);
        platform::HostSetRegistryDword(RegistryKey, "InstMode", installMode);
    }

    // The state start-up leaves for the wizard and RunUpdate, set directly:
    // the package loaded, [UPDATE] of UPDATE.INI, the installed game.
    void PrepareUpdate(const Entries& entries, const std::string& updateKeys) {
        InstallGame();
        image_ = MakePackage(entries);
        updater::state.packageImage = image_;
        updater::state.directory = package::LoadPackageDirectory(image_);
        ASSERT_TRUE(updater::state.directory.block);
        updater::state.entries = updater::state.directory.entries();
        SetUpdateSection(updateKeys);
        updater::CopyText(updater::state.installPath, InstallFolder);
        updater::CopyText(updater::state.dataPath, DataFolder);
        updater::CopyText(updater::state.GameTitle, "デモゲーム");
        updater::CopyText(updater::state.caption, "デモゲーム アップデータ 1.01");
        updater::CopyText(config::setupInfo.DiskCheckFile[1], "DISC1.CHK");
        updater::CopyText(config::setupInfo.DiskCheckFile[2], "DISC2.CHK");
        updater::state.quietMissingKeys = 1;
    }

    void SetUpdateSection(const std::string& keys) {
        platform::HostWriteFile("C:\\TEMP\\UPDATE.INI", "[UPDATE]\r\n" + keys);
        updater::CopyText(updater::state.updateIniPath, "C:\\TEMP\\UPDATE.INI");
    }

    // A CD-ROM drive holding a disc: the folder below the test root, with
    // the check file of `disc` when it is not 0.
    std::string InsertDisc(char drive, int disc) {
        const std::string folder = (root() / (std::string("disc-") + drive)).string();
        std::filesystem::create_directories(folder);
        if (disc != 0) {
            std::ofstream(folder + "/DISC" + std::to_string(disc) + ".CHK") << "disc";
        }
        platform::HostAddCdromDrive(drive, folder);
        return folder;
    }

    // The names of what a folder holds, its sub-folders' too, sorted.
    static std::vector<std::string> FolderContents(const char* folder) {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::recursive_directory_iterator(platform::HostPath(folder))) {
            names.push_back(item.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Files of the temporary folder, to see that a run left nothing there.
    static std::vector<std::string> TempFolderContents() { return FolderContents("C:\\TEMP"); }

    static std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const platform::RecordedBox& box : platform::HostRecordedBoxes()) texts.push_back(box.text);
        return texts;
    }

private:
    std::vector<std::uint8_t> image_;
};

}  // namespace updater_test
