// The update itself: UPDATE.INI's [UPDATE] section applied to the installed
// game, then the copies from the game's CD-ROM.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "updater/state.h"

namespace updater {

enum UpdateAction : std::int32_t {
    ActionPlain = 0,
    ActionUpdate = 1,
    ActionData = 2,
    ActionOverwrite = 3,
};

struct UpdateItem {
    std::int32_t action = ActionPlain;
    NameText name{};
    std::int32_t fileNameOffset = 0;  // start of the file-name part of `name`
};

// The disc of a copy line whose prefix is no digit: the line is refused,
// as a copy that failed.
inline constexpr std::int32_t RefusedDisc = -1;

struct CopyItem {
    std::int32_t disc = 0;
    NameText path{};
};

inline constexpr const char* UpdateSection = "UPDATE";
inline constexpr const char* RequiredDiskSpaceKey = "RequiredDiskSpace";
inline constexpr const char* OverwriteOnlyKey = "OverwriteOnly";

inline constexpr int MaxListKeys = 16;

// A numbered list of [UPDATE]: keys PREFIX00 to PREFIX15, read up to the
// first missing one, each line into `lineCapacity` bytes (its terminator
// included). Update lines hold up to three fields, copy lines one path.
struct ItemListKeys {
    const char* prefix;
    std::size_t lineCapacity;
};
inline constexpr ItemListKeys UpdateFileKeys{"UpdateFile", std::tuple_size_v<MessageText>};
inline constexpr ItemListKeys CopyFileKeys{"CopyFile", std::tuple_size_v<NameText>};
// The list's key number `k` ("UpdateFile07").
NameText ListKey(const ItemListKeys& keys, int k);

// Parses one update line; false when its mode filter excludes it.
bool ParseUpdateLine(const char* line, std::uint32_t installMode, UpdateItem* item);
// Parses one copy line; false when its mode prefix excludes it.
bool ParseCopyLine(const char* line, std::uint32_t installMode, CopyItem* item);

// Runs the update step of the wizard's dialog.
void RunUpdate(platform::Window dialog);

}  // namespace updater
