// Stamping a package into a copy of the updater executable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace updpack {

// Whether `stubPath` can take a package, found without packing one (a
// missing or foreign stub is told before minutes of packing, not after).
// False with `error` set.
bool CheckStub(const std::filesystem::path& stubPath, std::string* error);

// Whether `outputPath` may take an updater: only an updater made earlier
// (one that carries a package) is replaced, as any other exe may be the
// stub, the game's or one the update ships. False with `error` set. The
// commands ask before they stamp, so StampFile does not ask again.
bool MayWriteUpdater(const std::string& outputPath, std::string* error);

// Writes `stubPath` with `package` as its UPDATE/102 resource to
// `outputPath`, telling on standard output what changed beyond the package
// (a dropped signature). False with `error` set on any failure; the output
// is then not written.
bool StampFile(const std::filesystem::path& stubPath, std::span<const std::uint8_t> package,
               const std::string& outputPath, std::string* error);

}  // namespace updpack
