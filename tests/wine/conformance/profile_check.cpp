// The private-profile behaviour the host reader follows, checked against the
// real GetPrivateProfileStringA through the Win32 backend. Prints one line
// per case and returns the number of cases that differ.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "tests/support/profile_cases.h"

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = "C:\\profilecheck";

}  // namespace

int main() {
    fs::remove_all(kRoot);
    fs::create_directories(kRoot);
    int failures = 0;
    int number = 0;
    for (const profile_cases::ProfileCase& testCase : profile_cases::Cases) {
        // A file per case: the real function may cache the last file it read.
        const fs::path path = kRoot / ("case" + std::to_string(number++) + ".ini");
        if (testCase.ini != nullptr) {
            std::ofstream(path, std::ios::binary) << profile_cases::IniText(testCase);
        }
        // Zeroed first, as the program's reads are: where a cut would split a
        // double-byte character, the real function leaves that byte as it was.
        std::vector<char> buffer(testCase.bufferSize, '\0');
        const std::uint32_t count = platform::ReadProfileString(
            testCase.section, testCase.key, buffer, path.string().c_str());
        const std::string value(buffer.data());
        const bool holds = value == testCase.expectedValue && count == testCase.expectedCount;
        if (holds) {
            std::printf("ok   %s\n", testCase.shows);
        } else {
            std::printf("FAIL %s: got \"%s\" (%u), expected \"%s\" (%u)\n", testCase.shows,
                        value.c_str(), unsigned(count), testCase.expectedValue,
                        unsigned(testCase.expectedCount));
            ++failures;
        }
    }
    fs::remove_all(kRoot);
    return failures;
}
