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
#include <string>
#include <string_view>
#include <vector>

namespace updpack {

// Makes the native folder readable through the seam as drive `drive` (on
// the host build) and returns the path the seam knows it by: the folder
// made absolute and normalised, or as given, normalised, when there is no
// current folder to resolve it against.
std::string MountFolder(char drive, const std::string& folder);

// Whether an output of `kind` (its files begin with `signature`) may be
// written over `path`: yes when nothing, an empty file, or a file of that
// kind stands there. A forgotten or mistyped output name would otherwise
// overwrite one of the publisher's own files, the inputs included; false
// says so in `error`.
bool MayReplaceWith(const std::filesystem::path& path, std::string_view signature,
                    const char* kind, std::string* error);

std::optional<std::vector<std::uint8_t>> ReadNativeFile(const std::filesystem::path& path,
                                                        std::string* error);

// Writes an output: `fill` writes the open temporary file (seeking as it
// likes), returning false to give up (with `error` set, or left as it is
// when the filler has said why itself); the file replaces `path` only when
// `fill` succeeded and every write did, and then `check`, when given,
// passed the closed temporary file. The temporary file's name is new for
// every call, so outputs written side by side, by this run or another,
// never share one, and a file of the user's is never taken for it.
using NativeFileFiller = std::function<bool(std::ostream& out, std::string* error)>;
using NativeFileCheck = std::function<bool(const std::filesystem::path& written, std::string* error)>;
bool ReplaceNativeFile(const std::filesystem::path& path, const NativeFileFiller& fill,
                       std::string* error, const NativeFileCheck& check = {});

}  // namespace updpack
