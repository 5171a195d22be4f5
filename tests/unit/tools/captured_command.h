// An updpack command run with its standard output and error captured, so a
// test reads what the publisher would see.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/updpack/package_commands.h"

namespace updpack {

inline int RunCaptured(int (*command)(CommandArguments), const std::vector<std::string>& args,
                       std::string* out, std::string* err) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = command(args);
    *out = testing::internal::GetCapturedStdout();
    *err = testing::internal::GetCapturedStderr();
    return status;
}

}  // namespace updpack
