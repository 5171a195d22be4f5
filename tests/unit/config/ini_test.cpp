#include "config/ini.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include "support/host_fixture.h"
#include "updater/state.h"

namespace {

constexpr std::int32_t Max32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Min32 = std::numeric_limits<std::int32_t>::min();

class IniTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        updater::ResetUpdateState();
        updater::CopyText(updater::state.setupIniPath, "C:\\GAME\\SETUP.INI");
        updater::CopyText(updater::state.updateIniPath, "C:\\TEMP\\RUN\\UPDATE.INI");
    }
    static void WriteSetup(const std::string& body) {
        platform::HostWriteFile("C:\\GAME\\SETUP.INI", "[SETUP]\r\n" + body);
    }
    static std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : platform::HostRecordedBoxes()) {
            EXPECT_EQ(box.caption, "INSTCMMN");
            EXPECT_EQ(box.kind, platform::BoxKind::ErrorOk);
            texts.push_back(box.text);
        }
        return texts;
    }
};

TEST_F(IniTest, APresentValueIsReadSilently) {
    WriteSetup("GameTitle=蒼穹の翼\r\n");
    updater::NameText title{};
    EXPECT_EQ(config::ReadSetupValue("GameTitle", title), 1);
    EXPECT_STREQ(title.data(), "蒼穹の翼");
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(IniTest, AnEmptyValueIsAMissingKey) {
    WriteSetup("GameTitle=\r\n");
    updater::NameText title;
    title.fill('x');
    EXPECT_EQ(config::ReadSetupValue("GameTitle", title), 0);
    EXPECT_EQ(title, updater::NameText{});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"SETUP.INI : GameTitle キーが存在しません"});
}

TEST_F(IniTest, QuietMissingKeysShowNothing) {
    WriteSetup("");
    updater::state.quietMissingKeys = 1;
    updater::NameText value{};
    EXPECT_EQ(config::ReadSetupValue("GameTitle", value), 0);
    EXPECT_EQ(config::ReadUpdateValue("UPDATE", "UpdateFile00", value), 0);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(IniTest, AMissingUpdateKeyNamesItsSectionFirst) {
    platform::HostWriteFile("C:\\TEMP\\RUN\\UPDATE.INI", "[SETUP]\r\nGameDir=sky\r\n");
    updater::NameText value{};
    EXPECT_EQ(config::ReadUpdateValue("SETUP", "GameDir", value), 1);
    EXPECT_EQ(config::ReadUpdateValue("SETUP", "CompanyName", value), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"SETUP : CompanyName キーが存在しません"});
}

TEST_F(IniTest, ABoxIsOwnedByTheWizardWhileItExists) {
    auto wizard = platform::HostOpenWindow("#32770", "wizard");
    updater::state.wizardWindow = wizard;
    config::ShowSetupError("text");
    ASSERT_EQ(platform::HostRecordedBoxes().size(), 1u);
    EXPECT_EQ(platform::HostRecordedBoxes()[0].owner, wizard);
}

TEST_F(IniTest, AMissingIntegerLeavesTheValueAlone) {
    WriteSetup("Other=1\r\n");
    std::int32_t value = 77;
    EXPECT_EQ(config::ReadSetupInt("InstallSelects", &value), 0);
    EXPECT_EQ(value, 77);
}

struct IntCase {
    const char* value;
    std::int32_t expected;
};

class ReadSetupIntTest : public IniTest, public testing::WithParamInterface<IntCase> {};

TEST_P(ReadSetupIntTest, ConvertsTheFirst19Bytes) {
    WriteSetup(std::string("Number=") + GetParam().value + "\r\n");
    std::int32_t value = 77;
    EXPECT_EQ(config::ReadSetupInt("Number", &value), 1);
    EXPECT_EQ(value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadSetupIntTest,
    testing::Values(IntCase{"12abc", 12}, IntCase{"abc", 0}, IntCase{"-7", -7},
                    IntCase{"+7", 7}, IntCase{"99999999999", Max32}, IntCase{"-99999999999", Min32},
                    IntCase{"2147483647", Max32}, IntCase{"2147483648", Max32},
                    IntCase{"-2147483648", Min32}, IntCase{"-2147483649", Min32},
                    IntCase{"00000000000000000001234", 0}, IntCase{"0000000000000000001234", 1},
                    IntCase{"--5", 0}, IntCase{"- 5", 0}, IntCase{"\" \t 42\"", 42}));

struct U64Case {
    const char* text;
    std::uint64_t expected;
};

class ParseUnsigned64Test : public testing::TestWithParam<U64Case> {};

TEST_P(ParseUnsigned64Test, Converts) {
    EXPECT_EQ(config::ParseUnsigned64(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParseUnsigned64Test,
    testing::Values(U64Case{"4294967296", 4294967296ull}, U64Case{"", 0}, U64Case{"abc", 0},
                    U64Case{"\t\n\v\f\r 7", 7}, U64Case{" \t+15MB", 15}, U64Case{"-1", 0xFFFFFFFFFFFFFFFFull},
                    U64Case{"18446744073709551615", 0xFFFFFFFFFFFFFFFFull},
                    U64Case{"18446744073709551616", 0}, U64Case{"18446744073709551617", 1}));

}  // namespace
