// How the private-profile read behaves, case by case: the host backend is
// tested against this table, and the Wine tests run the same table against
// the real function. `ini` null means no file at all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace profile_cases {

struct ProfileCase {
    const char* ini;
    const char* section;
    const char* key;
    std::uint32_t bufferSize;
    const char* expectedValue;
    std::uint32_t expectedCount;
    const char* shows;
    // The length of `ini` when it holds a zero byte; 0 when it ends at its
    // terminator.
    std::size_t iniSize = 0;
};

// The bytes of the case's file.
inline std::string IniText(const ProfileCase& c) {
    return c.iniSize != 0 ? std::string(c.ini, c.iniSize) : std::string(c.ini);
}

inline constexpr std::array<ProfileCase, 40> Cases{{
    {"[SETUP]\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "Sky", 3, "CR LF line ends"},
    {"[SETUP]\nGameTitle=Sky\n", "SETUP", "GameTitle", 260, "Sky", 3, "LF line ends"},
    {"[SETUP]\r\nGameTitle=Sky", "SETUP", "GameTitle", 260, "Sky", 3, "no line end after the last line"},
    {"[setup]\r\ngametitle=Sky\r\n", "SETUP", "GAMETITLE", 260, "Sky", 3, "names case-blind"},
    {"[セットアップ]\r\nタイトル=空\r\n", "セットアップ", "タイトル", 260, "空", 2, "double-byte names"},
    {"[SETUP]\r\nGameTitle=Sky\r\n", "SETUP", "Game", 260, "", 0, "a key name matches whole"},
    {"[SETUP]\r\nGameTitle=Sky\r\n", "SET", "GameTitle", 260, "", 0, "a section name matches whole"},
    {"[OTHER]\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "", 0, "missing section"},
    {"[SETUP]\r\nGameDir=sky\r\n", "SETUP", "GameTitle", 260, "", 0, "missing key"},
    {nullptr, "SETUP", "GameTitle", 260, "", 0, "missing file"},
    {"", "SETUP", "GameTitle", 260, "", 0, "empty file"},
    {"[SETUP]\r\nGameTitle=\r\n", "SETUP", "GameTitle", 260, "", 0, "empty value"},
    {"[SETUP]\r\nGameTitle=   \r\n", "SETUP", "GameTitle", 260, "", 0, "blank value"},
    {"[SETUP]\r\n  GameTitle \t=  Sky High \t\r\n", "SETUP", "GameTitle", 260, "Sky High", 8,
     "blanks around key and value dropped, inner blanks kept"},
    {"  [SETUP]  \r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "Sky", 3,
     "blanks around a section line"},
    {"[SETUP]\r\nGameTitle=\" Sky \"\r\n", "SETUP", "GameTitle", 260, " Sky ", 5,
     "double quotes dropped, inner blanks kept"},
    {"[SETUP]\r\nGameTitle=' Sky '\r\n", "SETUP", "GameTitle", 260, " Sky ", 5, "single quotes dropped"},
    {"[SETUP]\r\nGameTitle=\"Sky\r\n", "SETUP", "GameTitle", 260, "\"Sky", 4, "unmatched quote kept"},
    {"[SETUP]\r\nGameTitle=\"Sky'\r\n", "SETUP", "GameTitle", 260, "\"Sky'", 5,
     "different quotes kept"},
    {"[SETUP]\r\nGameTitle=\"\"\r\n", "SETUP", "GameTitle", 260, "", 0, "empty quotes give nothing"},
    {"[SETUP]\r\nGameTitle=Sky ; the title\r\n", "SETUP", "GameTitle", 260, "Sky ; the title", 15,
     "an inline semicolon belongs to the value"},
    {"[SETUP]\r\n;GameTitle=Old\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "Sky", 3,
     "comment lines skipped"},
    {"[SETUP]\r\nGameTitle\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "", 0,
     "a line without an equals sign is a key with no value, and the first wins"},
    {"[SETUP]\r\nsome words\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "Sky", 3,
     "a line without an equals sign stands for no other key"},
    {"[SETUP]\r\nGameTitle=Sky=Blue\r\n", "SETUP", "GameTitle", 260, "Sky=Blue", 8,
     "the first equals sign splits"},
    {"[SETUP]\r\nGameTitle=One\r\nGameTitle=Two\r\n", "SETUP", "GameTitle", 260, "One", 3,
     "the first of duplicate keys wins"},
    {"[SETUP]\r\nGameDir=a\r\n[SETUP]\r\nGameTitle=Two\r\n", "SETUP", "GameTitle", 260, "", 0,
     "only the first section of a name is searched"},
    {"GameTitle=Loose\r\n[SETUP]\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "Sky", 3,
     "keys before any section belong to none"},
    {"[SETUP]\r\nGameTitle=abcdefgh\r\n", "SETUP", "GameTitle", 5, "abcd", 4,
     "a long value is cut to size - 1, and the count is size - 1"},
    {"[SETUP]\r\nGameTitle=abcd\r\n", "SETUP", "GameTitle", 5, "abcd", 4, "a value that just fits"},
    {"[SETUP]\r\nGameTitle=abcdefgh\r\n", "SETUP", "GameTitle", 1, "", 0, "a buffer of one byte"},
    {"[SETUP]\r\nInstallSize0=0000000000000000000123\r\n", "SETUP", "InstallSize0", 20,
     "0000000000000000000", 19, "a number read into 20 bytes keeps 19"},
    {"[SETUP]\rGameTitle=Sky\r", "SETUP", "GameTitle", 260, "Sky", 3, "lone CR line ends"},
    {"[ SETUP\t]\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "Sky", 3,
     "blanks inside the brackets dropped"},
    {"[SETUP]\r\n[ゾ\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "Sky", 3,
     "the second byte of a double-byte character closes no section"},
    {"[SETUP]\r\nGameTitle=Sky\x1a", "SETUP", "GameTitle", 260, "Sky", 3,
     "a DOS end-of-file mark is a blank"},
    {"[SETUP]\r\nGameTitle=\"Sky\0\"\r\n", "SETUP", "GameTitle", 260, "\"Sky", 4,
     "a zero byte ends the value before its quotes are matched", 27},
    {"[SETUP]\r\nGameDir=a\0[OTHER]\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "Sky", 3,
     "a zero byte ends no line: what follows it starts no section", 43},
    {"[SETUP\0X]\r\nGameTitle=Sky\r\n", "SETUP", "GameTitle", 260, "Sky", 3,
     "a zero byte ends a section's name", 26},
    {"[SETUP]\r\nGameTitle=空空\r\n", "SETUP", "GameTitle", 4, "空", 3,
     "a cut leaves out a double-byte character it would split, and the count is size - 1"},
}};

}  // namespace profile_cases
