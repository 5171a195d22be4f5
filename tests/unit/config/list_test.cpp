#include "config/list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "updater/state.h"

namespace {

struct Item {
    std::string text;
    int disc;
    bool operator==(const Item&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Item& item) {
    return out << '"' << item.text << "\"/" << item.disc;
}

// Every item of `list` with the disc number in force after it, starting
// from disc 0.
std::vector<Item> Split(const char* list) {
    updater::state.itemDisc = 0;
    std::vector<Item> items;
    updater::NameText item{};
    while (config::NextListItem(item, list) != 0) {
        items.push_back({item.data(), updater::state.itemDisc});
        if (items.size() > 100) break;  // a cursor that never moves
    }
    return items;
}

struct ListCase {
    const char* list;
    std::vector<Item> items;
};

class ListSyntaxTest : public testing::TestWithParam<ListCase> {};

TEST_P(ListSyntaxTest, GivesTheItemsWithTheirDiscs) {
    EXPECT_EQ(Split(GetParam().list), GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListSyntaxTest,
    testing::Values(
        ListCase{"a,b", {{"a", 0}, {"b", 0}}},
        ListCase{"a,b,", {{"a", 0}, {"b", 0}}},
        ListCase{"", {}},
        ListCase{",a", {}},
        ListCase{"a,,b", {{"a", 0}}},
        ListCase{"  a , b", {{"a ", 0}, {"b", 0}}},
        ListCase{"\ta\t", {{"a\t", 0}}},
        ListCase{"1:a,b,2:x,y", {{"a", 1}, {"b", 1}, {"x", 2}, {"y", 2}}},
        ListCase{"a,1:b", {{"a", 0}, {"b", 1}}},
        ListCase{"D:\\GAME", {{"\\GAME", 0}}},
        ListCase{"x:y", {{"y", 0}}},
        ListCase{"1: y", {{" y", 1}}},
        ListCase{"10:x", {{"10:x", 0}}},
        ListCase{"1:,b", {{"", 1}, {"b", 1}}},
        ListCase{"a\r\nb", {{"a", 0}}},
        ListCase{"a\nb", {{"a", 0}, {"b", 0}}},
        ListCase{"ゲーム.exe,2:データ\\セーブ.dat", {{"ゲーム.exe", 0}, {"データ\\セーブ.dat", 2}}}));

TEST(ListTest, TheEndOfTheListStaysTheEnd) {
    const char* list = "a";
    updater::NameText item{};
    ASSERT_EQ(config::NextListItem(item, list), 1);
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(config::NextListItem(item, list), 0);
        EXPECT_EQ(*list, '\0');
    }
}

TEST(ListTest, NoItemLeavesTheDestinationAlone) {
    const char* list = "  ,a";
    updater::NameText item{};
    item[0] = 'z';
    EXPECT_EQ(config::NextListItem(item, list), 0);
    EXPECT_EQ(item[0], 'z');
    EXPECT_EQ(*list, ',');
}

TEST(ListTest, ALongItemIsCutAndTheListStaysInStep) {
    const std::string longItem(300, 'x');
    const std::string list = "1:" + longItem + ",next";
    const char* cursor = list.c_str();
    std::array<char, 262> memory;
    memory.fill('#');
    const std::span<char> item(memory.data(), 260);

    ASSERT_EQ(config::NextListItem(item, cursor), 1);
    EXPECT_EQ(std::string(item.data()), std::string(259, 'x'));
    EXPECT_EQ(memory[260], '#');
    ASSERT_EQ(config::NextListItem(item, cursor), 1);
    EXPECT_STREQ(item.data(), "next");
}

TEST(ListTest, CharacterClasses) {
    for (int ch = 0; ch < 256; ++ch) {
        EXPECT_EQ(config::IsBlank(ch), ch == '\t' || ch == ' ') << ch;
        EXPECT_EQ(config::IsSeparator(ch), ch == 0 || ch == '\n' || ch == '\r' || ch == ',') << ch;
    }
}

}  // namespace
