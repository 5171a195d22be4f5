#include "platform/profile.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <string>

#include <sys/stat.h>

#include "platform/host/control.h"
#include "support/host_fixture.h"
#include "tests/support/profile_cases.h"

namespace {

constexpr const char* IniPath = "C:\\GAME\\TEST.INI";
constexpr char Canary = '\x5A';

class ProfileTest : public HostTest,
                    public testing::WithParamInterface<profile_cases::ProfileCase> {};

TEST_P(ProfileTest, ReadsAsTheWindowsFunctionDoes) {
    const auto& c = GetParam();
    if (c.ini != nullptr) platform::HostWriteFile(IniPath, profile_cases::IniText(c));
    // A canary behind the buffer shows that nothing is written past it.
    std::array<char, 300> memory;
    memory.fill(Canary);
    const std::span<char> buffer(memory.data(), c.bufferSize);

    const std::uint32_t count = platform::ReadProfileString(c.section, c.key, buffer, IniPath);

    EXPECT_EQ(count, c.expectedCount);
    EXPECT_STREQ(buffer.data(), c.expectedValue);
    EXPECT_EQ(memory[c.bufferSize], Canary);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileTest, testing::ValuesIn(profile_cases::Cases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

class ProfileFileTest : public HostTest {};

TEST_F(ProfileFileTest, EveryReadSeesTheFileAsItIsNow) {
    std::array<char, 16> buffer{};
    platform::HostWriteFile(IniPath, "[A]\nk=one\n");
    EXPECT_EQ(platform::ReadProfileString("A", "k", buffer, IniPath), 3u);
    platform::HostWriteFile(IniPath, "[A]\nk=two!\n");
    EXPECT_EQ(platform::ReadProfileString("A", "k", buffer, IniPath), 4u);
    EXPECT_STREQ(buffer.data(), "two!");
}

// Windows takes a UTF-8 byte order mark for part of the first line, so a
// section named there is never found. Wine skips the mark and reads the
// file as UTF-8, which is why this case is not in the shared table.
TEST_F(ProfileFileTest, AUtf8ByteOrderMarkHidesTheFirstSectionAsOnWindows) {
    std::array<char, 16> buffer{};
    platform::HostWriteFile(IniPath, "\xEF\xBB\xBF[A]\nk=v\n[B]\nk=w\n");
    EXPECT_EQ(platform::ReadProfileString("A", "k", buffer, IniPath), 0u);
    EXPECT_EQ(platform::ReadProfileString("B", "k", buffer, IniPath), 1u);
}

TEST_F(ProfileFileTest, FileNamesMatchCaseBlind) {
    std::array<char, 16> buffer{};
    platform::HostWriteFile(IniPath, "[A]\nk=v\n");
    EXPECT_EQ(platform::ReadProfileString("A", "k", buffer, "c:\\game\\test.ini"), 1u);
}

TEST_F(ProfileFileTest, AFolderOrAPipeReadsAsNoFile) {
    std::filesystem::create_directories(platform::HostPath("C:\\GAME\\FOLDER.INI"));
    ASSERT_EQ(::mkfifo(platform::HostPath("C:\\GAME\\PIPE.INI").c_str(), 0644), 0);
    for (const char* path : {"C:\\GAME\\FOLDER.INI", "C:\\GAME\\PIPE.INI"}) {
        std::array<char, 16> buffer{'x'};
        EXPECT_EQ(platform::ReadProfileString("A", "k", buffer, path), 0u) << path;
        EXPECT_STREQ(buffer.data(), "") << path;
    }
}

TEST_F(ProfileFileTest, AnEmptyBufferIsNotTouched) {
    platform::HostWriteFile(IniPath, "[A]\nk=v\n");
    char canary = Canary;
    EXPECT_EQ(platform::ReadProfileString("A", "k", std::span<char>(&canary, 0), IniPath), 0u);
    EXPECT_EQ(canary, Canary);
}

}  // namespace
