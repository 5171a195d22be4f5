#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(const char* text) {
    return std::vector<unsigned char>(text, text + std::strlen(text));
}

TEST(Text, JapaneseLiteralsCompileToCp932) {
    const std::vector<unsigned char> expected = {0x83, 0x66, 0x83, 0x42, 0x83, 0x58, 0x83, 0x4E, 0x97,
                                                 0x65, 0x97, 0xCA, 0x82, 0xAA, 0x91, 0xAB, 0x82, 0xE8,
                                                 0x82, 0xDC, 0x82, 0xB9, 0x82, 0xF1, 0x81, 0x42};
    EXPECT_EQ(Bytes("ディスク容量が足りません。"), expected);
    // A trail byte equal to the backslash survives compilation.
    EXPECT_EQ(Bytes("表"), (std::vector<unsigned char>{0x95, 0x5C}));
}

TEST(Text, NextCharStepsOverWholeCharacters) {
    const char* text = "a表b";
    const char* second = platform::NextChar(text);
    EXPECT_EQ(second, text + 1);
    EXPECT_EQ(platform::NextChar(second), text + 3);
    const char end[] = "";
    EXPECT_EQ(platform::NextChar(end), end);
    // A lead byte cut off by the terminator never carries the walk past it.
    const char cut[] = "\x95";
    EXPECT_EQ(platform::NextChar(cut), cut + 1);
}

TEST(Text, EqualNoCaseFoldsTheLettersThatHaveACase) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"UPDATE.INI", "update.ini", true},
        {"表.txt", "表.TXT", true},
        {"表", "俵", false},     // same lead byte, different trail
        {"ａｂ.txt", "ＡＢ.TXT", true},  // full-width letters
        {"αω", "ΑΩ", true},
        {"ая", "АЯ", true},      // on both sides of the gap in the small letters' row
        {"ⅰ", "Ⅰ", true},
        {"\xFA\x4A", "\x87\x54", true},  // Ⅰ as IBM's and NEC's extensions hold it
        {"ｱ", "ア", false},      // widths and
        {"あ", "ア", false},     // kana stay apart
        {"\x95", "\x95", true},  // a lead byte cut off by the end
        {"\x95", "\x95\x5C", false},
        {"abc", "abcd", false},
        {"", "", true},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::EqualNoCase(c.a, c.b), c.equal) << c.a << " " << c.b;
}

TEST(Text, ConvertsBothWaysAndRefusesBadBytes) {
    std::string cp932;
    ASSERT_TRUE(platform::Cp932FromUtf8("\xE8\xA1\xA8", &cp932));  // 表 in UTF-8
    EXPECT_EQ(cp932, "表");
    std::string utf8;
    ASSERT_TRUE(platform::Utf8FromCp932(cp932, &utf8));
    EXPECT_EQ(utf8, "\xE8\xA1\xA8");
    EXPECT_FALSE(platform::Utf8FromCp932("\x95", &utf8));          // lead byte without trail
    EXPECT_FALSE(platform::Cp932FromUtf8("\xF0\x9F\x98\x80", &cp932));  // no cp932 form
}

}  // namespace
