// Building an update: the package from a folder, stamped into the stub.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/updpack/check.h"

namespace updpack {

// The package of the entries `check` found in `folder`, each with its
// file's last-write time. nullopt with `error` set when a file can't be
// read. The files are shown as they are read (PackingProgress).
std::optional<std::vector<std::uint8_t>> PackFolder(const std::string& folder, const FolderCheck& check,
                                                    std::string* error);

}  // namespace updpack
