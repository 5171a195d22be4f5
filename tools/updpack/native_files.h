// Native files and folders (paths as the command line gives them, not ones
// on the updater's drives): the tool's own inputs and outputs, and the
// folders it reads through the updater's code. Writing goes through a
// temporary file beside the target, so a failure leaves no half-written
// output.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace updpack {

// Makes the native folder readable through the seam as drive `drive` (on
// the host build) and returns the path the seam knows it by: the folder
// made absolute and normalised, or as given, normalised, when there is no
// current folder to resolve it against.
std::string MountFolder(char drive, const std::filesystem::path& folder);

// Whether an output of `kind` may be written over `path`: yes when nothing
// or an empty file stands there, or a file `isEarlierOutput` takes for an
// earlier output of the same kind. A forgotten or mistyped output name
// would otherwise overwrite one of the publisher's own files, the inputs
// included; false says so in `error`, as it does for a folder, a device,
// a pipe, a file that can't be read, and "-" (standard output, to extract).
using EarlierOutputTest = std::function<bool(std::span<const std::uint8_t> content)>;
bool MayReplaceWith(const std::filesystem::path& path, const char* kind,
                    const EarlierOutputTest& isEarlierOutput, std::string* error);

// "cannot write PATH", with the system's reason for the last call that
// failed on this thread when it gave one ("No space left on device").
std::string CannotWrite(const std::filesystem::path& path);

std::optional<std::vector<std::uint8_t>> ReadNativeFile(const std::filesystem::path& path,
                                                        std::string* error);

// Writes an output: `fill` writes the open temporary file (seeking as it
// likes), returning false to give up (with `error` set, or left as it is
// when the filler has said why itself); the file replaces `path` only when
// `fill` succeeded and every write did, and then `check`, when given,
// passed the closed temporary file. The temporary file's name is new for
// every call, so outputs written side by side, by this run or another,
// never share one, and a file of the user's is never taken for it. A
// `path` that is a symbolic link has its file replaced, not the link.
using NativeFileFiller = std::function<bool(std::ostream& out, std::string* error)>;
using NativeFileCheck = std::function<bool(const std::filesystem::path& written, std::string* error)>;
bool ReplaceNativeFile(const std::filesystem::path& path, const NativeFileFiller& fill,
                       std::string* error, const NativeFileCheck& check = {});

}  // namespace updpack
