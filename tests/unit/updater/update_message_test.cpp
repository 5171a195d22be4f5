#include "updater/update_message.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

struct MessageCase {
    const char* message;
    const char* shown;
};

class UpdateMessageTest : public testing::TestWithParam<MessageCase> {};

TEST_P(UpdateMessageTest, TurnsBackslashNIntoALineBreak) {
    std::array<char, 1024> out{};
    updater::ConvertUpdateMessage(GetParam().message, out);
    EXPECT_EQ(std::string(out.data()), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, UpdateMessageTest,
    testing::Values(MessageCase{"A\\nB", "A\rB"}, MessageCase{"\\n\\n", "\r\r"},
                    MessageCase{"a\\tb\\", "a\\tb\\"},
                    // Of two backslashes before n only the second makes the break.
                    MessageCase{"a\\\\nb", "a\\\rb"},
                    // 表 and ソ end in 0x5C: with the n after them they stay text.
                    MessageCase{"表n", "表n"}, MessageCase{"ソ\\n", "ソ\r"}, MessageCase{"", ""}));

TEST(UpdateMessageCut, KeepsWholeCharactersWithinTheBuffer) {
    std::array<char, 4> out{};
    updater::ConvertUpdateMessage("ab表", out);
    EXPECT_EQ(std::string(out.data()), "ab");
    updater::ConvertUpdateMessage("abc表", out);
    EXPECT_EQ(std::string(out.data()), "abc");
}

}  // namespace
