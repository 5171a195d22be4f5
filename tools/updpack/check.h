// Checking an update folder the way the updater will read it: the plan per
// install mode, and the mistakes that would fail (errors) or surprise
// (warnings) at the player.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace updpack {

// The drive letter the update folder is read through, as the updater
// would see it installed.
inline constexpr char UpdateFolderDrive = 'U';

struct Finding {
    enum class Level { Warning, Error };
    Level level;
    std::string text;
};

struct FolderCheck {
    std::vector<Finding> findings;
    std::vector<std::string> plan;      // printable lines
    // The package entries the updater will look for, UPDATE.INI first,
    // each once (names compared as the updater compares them).
    std::vector<std::string> entries;
};

// Reads `folder`/UPDATE.INI through the updater's own readers, and
// `setupIni` (optional, a native path) for the disc check files. `mode`
// limits the plan to one install mode.
FolderCheck CheckUpdateFolder(const std::string& folder, const std::string* setupIni,
                              std::optional<std::uint32_t> mode);

// Prints the findings, one a line, "error: " or "warning: " first.
void PrintFindings(const FolderCheck& check, std::FILE* out);

// 0 clean, 1 warnings only, 2 errors.
int ExitStatus(const FolderCheck& check);

}  // namespace updpack
