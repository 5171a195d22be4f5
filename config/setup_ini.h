// The installed game's SETUP.INI: the installer's description of the game.
#pragma once

#include <array>
#include <cstdint>

namespace config {

using SetupText = std::array<char, 260>;

struct InstallSelection {
    SetupText InstallTitle{};
    std::array<SetupText, 40> InstallFiles{};
    std::array<std::int32_t, 40> fileDiscs{};
    int hasDiscFiles = 0;
    std::uint64_t InstallSize = 0;
};

inline constexpr int AddOnSlot = 3;

struct SetupInfo {
    SetupText GameExe{};
    SetupText UninstExe{};
    std::array<SetupText, 20> SetupBmp{};
    std::int32_t InstallSelects = 0;
    std::array<InstallSelection, 4> selections{};
    std::int32_t Shortcuts = 0;
    std::array<std::array<SetupText, 4>, 10> Shortcut{};
    std::int32_t DefaultSelect = 0;
    std::array<SetupText, 10> DiskCheckFile{};
    std::array<SetupText, 2> ExecApp{};
    std::array<char, 1024> SelectSetupMessage{};
    SetupText SaveDataFolderNameInInstall{};
    SetupText SaveDataFolderName{};
    SetupText StrKeyInstPath{};
    SetupText ShortcutFolder{};
    int InstallAfterAdd = 0;
    SetupText UninstTitle{};
    std::int32_t InstPathMode = 0;
};

// The one record of the process; all zero at start.
extern SetupInfo setupInfo;
void ResetSetupInfo();

// Reads the whole [SETUP] of SETUP.INI (setupIniPath) into setupInfo and the
// UpdateState's CompanyName, GameTitle, GameDir and GameClass. 1 on
// success (quietMissingKeys is then set); 0 after the fault was shown.
int LoadSetupInfo();

}  // namespace config
