// The publisher's commands beyond packing and reading: stamping a package
// into the updater, building an update from its folder, checking a folder.
// Each takes the arguments after the command's name and returns the exit
// status; messages go to standard output and error.
#pragma once

#include <filesystem>
#include <span>
#include <string>

namespace updpack {

// stamp STUB.exe PKG.fa2 -o UPDATE.EXE
int StampCommand(std::span<const std::string> args);

// build DIR -o UPDATE.EXE [--stub updater.exe]. `toolPath` is the running
// updpack's own path: the default stub is updater.exe beside it.
int BuildCommand(std::span<const std::string> args, const std::filesystem::path& toolPath);

// check DIR [--setup SETUP.INI] [--mode N]: 0 clean, 1 warnings, 2 errors.
int CheckCommand(std::span<const std::string> args);

}  // namespace updpack
