// The publisher's commands that make and read packages. Each takes the
// arguments after the command's name and returns the exit status: 0 done,
// 1 a bad input or a failed operation, 2 a usage error. Messages go to
// standard output and error.
#pragma once

#include <span>
#include <string>

#include "package/format.h"

namespace updpack {

using CommandArguments = std::span<const std::string>;
struct LoadedPackage;

// create OUT.fa2 [-C DIR] [-1..-9] [--scramble] [--plain-directory] FILE...
int CreateCommand(std::span<const std::string> args);
// list PKG
int ListCommand(std::span<const std::string> args);
// extract PKG NAME [-o OUT]
int ExtractCommand(std::span<const std::string> args);
// extract-all PKG -C DIR
int ExtractAllCommand(std::span<const std::string> args);
// verify PKG
int VerifyCommand(std::span<const std::string> args);

// What verify does to a loaded package, for stamp: restores every entry on
// all cores, writing nothing, and tells each damaged one on standard error,
// the command's name first. The number of damaged entries.
int CountDamagedEntries(const LoadedPackage& loaded, const char* command);

// Warns, the command's name first, of what an updater can't use in a sound
// package: no UPDATE.INI, or an entry an earlier one of its name hides.
void WarnOfUnusableEntries(const char* command, const std::string& path,
                           std::span<const package::PackageEntry> entries);

}  // namespace updpack
