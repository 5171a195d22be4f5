// The publisher's commands that make and read packages. Each takes the
// arguments after the command's name and returns the exit status: 0 done,
// 1 a bad input or a failed operation, 2 a usage error. Messages go to
// standard output and error.
#pragma once

#include <span>
#include <string>

namespace updpack {

using CommandArguments = std::span<const std::string>;

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

}  // namespace updpack
