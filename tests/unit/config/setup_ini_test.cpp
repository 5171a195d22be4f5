#include "config/setup_ini.h"

#include <string>
#include <utility>
#include <vector>

#include "support/host_fixture.h"
#include "updater/state.h"

namespace {

using config::setupInfo;
using updater::state;

// A SETUP.INI as the installer writes it: comments, CR LF, cp932 names.
class SetupIniTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        updater::ResetUpdateState();
        config::ResetSetupInfo();
        updater::CopyText(state.setupIniPath, "C:\\GAME\\SETUP.INI");
        // What start-up read from UPDATE.INI before the load.
        updater::CopyText(state.GameClass, "UpdateIniClass");
        keys_ = {
            {"CompanyName", "ソラ工房"},
            {"GameTitle", "蒼穹の翼"},
            {"GameDir", "蒼穹"},
            {"GameExe", "蒼穹.exe"},
            {"UninstExe", "アンインストール.exe"},
            {"SetupBmp", "setup1.bmp,setup2.bmp,タイトル.bmp"},
            {"InstallSelects", "4"},
            {"InstallTitle0", "通常インストール"},
            {"InstallFiles0", "1:蒼穹.exe,data.pak,2:ムービー\\op.mpg,ed.mpg"},
            {"InstallTitle1", "最小インストール"},
            {"InstallFiles1", "蒼穹.exe,data.pak"},
            {"InstallTitle2", "フルインストール"},
            {"InstallFiles2", "1:蒼穹.exe,data.pak,voice.pak"},
            {"InstallTitle3", "追加データ"},
            {"InstallFiles3", "extra.pak"},
            {"InstallSize0", "734003200"},
            {"InstallSize1", "10485760"},
            {"InstallSize2", "4294967296"},
            {"Shortcuts", "2"},
            {"Shortcut0", "蒼穹の翼,蒼穹.exe,,"},
            {"Shortcut1", "アンインストール,アンインストール.exe,-u,uninst.ico"},
            {"DefaultSelect", "0"},
            {"DiskCheckFile0", "DISC1.CHK"},
            {"DiskCheckFile1", "DISC2.CHK"},
            {"ExecApp", "directx\\setup.exe,/silent"},
            {"SaveDataFolderNameInInstall", "セーブ"},
            {"UseCompanyNameForShortcutGroup", "1"},
            {"ChooseSaveDataFolder", "0"},
        };
    }

    void Set(const std::string& key, const std::string& value) {
        for (auto& [name, text] : keys_) {
            if (name == key) {
                text = value;
                return;
            }
        }
        keys_.emplace_back(key, value);
    }
    void Remove(const std::string& key) {
        std::erase_if(keys_, [&](const auto& entry) { return entry.first == key; });
    }
    int Load() {
        std::string text = "; インストーラー設定\r\n[SETUP]\r\n";
        for (const auto& [name, value] : keys_) text += name + "=" + value + "\r\n";
        text += "\r\n[UNINSTALL]\r\nGameTitle=別の値\r\n";
        platform::HostWriteFile("C:\\GAME\\SETUP.INI", text);
        return config::LoadSetupInfo();
    }
    static std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : platform::HostRecordedBoxes()) {
            EXPECT_EQ(box.caption, "INSTCMMN");
            texts.push_back(box.text);
        }
        return texts;
    }

private:
    std::vector<std::pair<std::string, std::string>> keys_;
};

TEST_F(SetupIniTest, ReadsARealisticFile) {
    ASSERT_EQ(Load(), 1);
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_NE(state.quietMissingKeys, 0);

    EXPECT_STREQ(state.CompanyName.data(), "ソラ工房");
    EXPECT_STREQ(state.GameTitle.data(), "蒼穹の翼");
    EXPECT_STREQ(state.GameDir.data(), "蒼穹");
    EXPECT_STREQ(setupInfo.GameExe.data(), "蒼穹.exe");
    EXPECT_STREQ(setupInfo.SetupBmp[2].data(), "タイトル.bmp");
    EXPECT_STREQ(setupInfo.SetupBmp[3].data(), "");

    ASSERT_EQ(setupInfo.InstallSelects, 4);
    const auto& first = setupInfo.selections[0];
    EXPECT_STREQ(first.InstallTitle.data(), "通常インストール");
    EXPECT_STREQ(first.InstallFiles[2].data(), "ムービー\\op.mpg");
    EXPECT_STREQ(first.InstallFiles[4].data(), "");
    EXPECT_EQ((std::vector<int>(first.fileDiscs.begin(), first.fileDiscs.begin() + 4)),
              (std::vector<int>{1, 1, 2, 2}));
    EXPECT_EQ(first.hasDiscFiles, 1);
    EXPECT_EQ(first.InstallSize, 734003200u);
    EXPECT_EQ(setupInfo.selections[1].hasDiscFiles, 0);
    EXPECT_EQ(setupInfo.selections[2].InstallSize, 4294967296u);
    EXPECT_EQ(setupInfo.selections[3].InstallSize, 0u);
    EXPECT_STREQ(setupInfo.selections[3].InstallFiles[0].data(), "extra.pak");

    ASSERT_EQ(setupInfo.Shortcuts, 2);
    EXPECT_STREQ(setupInfo.Shortcut[1][3].data(), "uninst.ico");
    EXPECT_STREQ(setupInfo.DiskCheckFile[1].data(), "DISC2.CHK");
    EXPECT_STREQ(setupInfo.DiskCheckFile[2].data(), "");
    EXPECT_STREQ(setupInfo.ExecApp[1].data(), "/silent");
    EXPECT_STREQ(setupInfo.SaveDataFolderNameInInstall.data(), "セーブ");
    EXPECT_EQ(setupInfo.InstallAfterAdd, 0);
}

TEST_F(SetupIniTest, MissingOptionalKeysTakeTheirDefaults) {
    for (const char* key : {"DefaultSelect", "InstallSize0", "DiskCheckFile0", "DiskCheckFile1",
                            "ExecApp", "SaveDataFolderNameInInstall"}) {
        Remove(key);
    }
    Set("DiskCheckFile5", "DISC6.CHK");  // every entry is read, whatever the gaps
    ASSERT_EQ(Load(), 1);
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(setupInfo.selections[0].InstallSize, 0u);
    EXPECT_STREQ(setupInfo.DiskCheckFile[5].data(), "DISC6.CHK");
    EXPECT_STREQ(setupInfo.ExecApp[0].data(), "");
    EXPECT_STREQ(setupInfo.SelectSetupMessage.data(), "インストール方法を選択して下さい");
    EXPECT_STREQ(setupInfo.SaveDataFolderNameInInstall.data(), "savedata");
    EXPECT_STREQ(setupInfo.SaveDataFolderName.data(), "蒼穹");
    EXPECT_STREQ(setupInfo.StrKeyInstPath.data(), "InstPath");
    EXPECT_STREQ(setupInfo.ShortcutFolder.data(), "");
    EXPECT_STREQ(setupInfo.UninstTitle.data(), "蒼穹の翼");
    EXPECT_EQ(setupInfo.InstPathMode, 0);
}

TEST_F(SetupIniTest, GameClassFallsBackToTheSetupIniTitle) {
    ASSERT_EQ(Load(), 1);
    EXPECT_STREQ(state.GameClass.data(), "蒼穹の翼");

    Set("GameClass", "SoraWindow");
    ASSERT_EQ(Load(), 1);
    EXPECT_STREQ(state.GameClass.data(), "SoraWindow");
}

struct FaultCase {
    const char* key;
    const char* value;  // null: the key is removed
    const char* message;
};

class SetupIniFaultTest : public SetupIniTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(SetupIniFaultTest, ShowsOneMessageAndFails) {
    const auto& fault = GetParam();
    if (fault.value == nullptr) {
        Remove(fault.key);
    } else {
        Set(fault.key, fault.value);
    }
    EXPECT_EQ(Load(), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{fault.message});
}

// Longer than the 259 characters these keys are read with: the comma falls
// after the cut, and the list loses its second item.
const std::string LongShortcut = std::string(258, 'a') + ",b.exe";
const std::string LongExecApp = std::string(258, 'a') + ",/silent";

INSTANTIATE_TEST_SUITE_P(
    Faults, SetupIniFaultTest,
    testing::Values(
        FaultCase{"CompanyName", nullptr, "SETUP.INI : CompanyName キーが存在しません"},
        FaultCase{"GameTitle", "", "SETUP.INI : GameTitle キーが存在しません"},
        FaultCase{"GameDir", nullptr, "SETUP.INI : GameDir キーが存在しません"},
        FaultCase{"GameExe", nullptr, "SETUP.INI : GameExe キーが存在しません"},
        FaultCase{"UninstExe", nullptr, "SETUP.INI : UninstExe キーが存在しません"},
        FaultCase{"SetupBmp", nullptr, "SETUP.INI : SetupBmp キーが存在しません"},
        FaultCase{"SetupBmp", ",a.bmp", "SETUP.INI : SetupBmps エラー"},
        FaultCase{"InstallSelects", nullptr, "SETUP.INI : InstallSelects キーが存在しません"},
        FaultCase{"InstallSelects", "5", "SETUP.INI : InstallSelect オーバー"},
        FaultCase{"InstallTitle2", nullptr, "SETUP.INI : InstallTitle2 キーが存在しません"},
        FaultCase{"InstallFiles1", nullptr, "SETUP.INI : InstallFiles1 キーが存在しません"},
        FaultCase{"InstallFiles2", ",data.pak", "SETUP.INI : InstallFiles2 エラー"},
        FaultCase{"Shortcuts", nullptr, "SETUP.INI : Shortcuts キーが存在しません"},
        FaultCase{"Shortcuts", "11", "SETUP.INI : Shortcuts オーバー"},
        FaultCase{"Shortcut1", nullptr, "SETUP.INI : Shortcut1 キーが存在しません"},
        FaultCase{"Shortcut1", "アンインストール", "SETUP.INI : Shortcut1 エラー"},
        FaultCase{"Shortcut0", ",蒼穹.exe", "SETUP.INI : Shortcut0 エラー"},
        FaultCase{"ExecApp", "setup.exe", "SETUP.INI : ExecApp エラー"},
        FaultCase{"Shortcut1", LongShortcut.c_str(), "SETUP.INI : Shortcut1 エラー"},
        FaultCase{"ExecApp", LongExecApp.c_str(), "SETUP.INI : ExecApp エラー"},
        FaultCase{"InstallAfterAdd", "1", "SETUP.INI : InstallAddFiles キーが存在しません"}));

TEST_F(SetupIniTest, AnAddOnListWithoutItemsIsRefused) {
    Set("InstallAfterAdd", "1");
    Set("InstallAddFiles", ",addon.pak");
    EXPECT_EQ(Load(), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"SETUP.INI : InstallAddFiles エラー"});
}

TEST_F(SetupIniTest, TheAddOnListFillsSlotThree) {
    Set("InstallAfterAdd", "-3");
    Set("InstallAddFiles", "3:addon1.pak,addon2.pak");
    Set("InstallAddSize", "5000000000");
    ASSERT_EQ(Load(), 1);
    EXPECT_NE(state.quietMissingKeys, 0);
    EXPECT_EQ(setupInfo.InstallAfterAdd, 1);
    const auto& addOn = setupInfo.selections[config::AddOnSlot];
    EXPECT_STREQ(addOn.InstallTitle.data(), "追加データ");
    EXPECT_STREQ(addOn.InstallFiles[1].data(), "addon2.pak");
    EXPECT_STREQ(addOn.InstallFiles[2].data(), "");
    EXPECT_EQ(addOn.fileDiscs[1], 3);
    EXPECT_EQ(addOn.hasDiscFiles, 1);
    EXPECT_EQ(addOn.InstallSize, 5000000000u);
}

TEST_F(SetupIniTest, WithoutTheAddOnItsKeysAreNotRead) {
    Set("InstallAddFiles", ",broken");
    Set("InstallAddSize", "99");
    for (const char* flag : {"0", ""}) {
        Set("InstallAfterAdd", flag);
        ASSERT_EQ(Load(), 1);
        EXPECT_EQ(setupInfo.InstallAfterAdd, 0);
        EXPECT_STREQ(setupInfo.selections[3].InstallFiles[0].data(), "extra.pak");
        EXPECT_EQ(setupInfo.selections[3].InstallSize, 0u);
    }
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(SetupIniTest, NoSelectionsReadNoSelectionKeys) {
    for (const char* count : {"0", "-1"}) {
        Set("InstallSelects", count);
        for (const char* key : {"InstallTitle0", "InstallFiles0", "InstallTitle1", "InstallFiles1"})
            Remove(key);
        EXPECT_EQ(Load(), 1) << count;
    }
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(SetupIniTest, SetupBmpKeepsTwentyItems) {
    std::string list;
    for (int item = 0; item < 25; ++item) list += "bmp" + std::to_string(item) + ",";
    Set("SetupBmp", list);
    ASSERT_EQ(Load(), 1);
    EXPECT_STREQ(setupInfo.SetupBmp[19].data(), "bmp19");
}

struct DiscCase {
    const char* files;
    std::vector<std::string> items;
    std::vector<int> discs;
    int hasDiscFiles;
};

class FileListTest : public SetupIniTest, public testing::WithParamInterface<DiscCase> {};

TEST_P(FileListTest, RecordsEachFilesDisc) {
    const auto& c = GetParam();
    Set("InstallFiles1", c.files);
    ASSERT_EQ(Load(), 1);
    const auto& slot = setupInfo.selections[1];
    for (std::size_t item = 0; item < c.items.size(); ++item) {
        EXPECT_EQ(slot.InstallFiles[item].data(), c.items[item]) << item;
        EXPECT_EQ(slot.fileDiscs[item], c.discs[item]) << item;
    }
    EXPECT_STREQ(slot.InstallFiles[c.items.size()].data(), "");
    EXPECT_EQ(slot.hasDiscFiles, c.hasDiscFiles);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, FileListTest,
    testing::Values(DiscCase{"a.pak,b.pak", {"a.pak", "b.pak"}, {0, 0}, 0},
                    DiscCase{"2:a.pak,b.pak,c.pak", {"a.pak", "b.pak", "c.pak"}, {2, 2, 2}, 1},
                    DiscCase{"D:\\蒼穹\\a.pak,b.pak", {"\\蒼穹\\a.pak", "b.pak"}, {0, 0}, 0},
                    DiscCase{"a.pak,b.pak,,c.pak", {"a.pak", "b.pak"}, {0, 0}, 0},
                    DiscCase{"0:a.pak", {"a.pak"}, {0}, 0}));

TEST_F(SetupIniTest, ALongFileIsCutAndTheListStaysInStep) {
    Set("InstallFiles1", "2:" + std::string(400, 'x') + ",b.pak");
    ASSERT_EQ(Load(), 1);
    const auto& slot = setupInfo.selections[1];
    EXPECT_EQ(std::string(slot.InstallFiles[0].data()), std::string(259, 'x'));
    EXPECT_STREQ(slot.InstallFiles[1].data(), "b.pak");
    EXPECT_EQ(slot.fileDiscs[1], 2);
}

TEST_F(SetupIniTest, FortyFilesFillTheList) {
    std::string list;
    for (int item = 0; item < 45; ++item) list += "f" + std::to_string(item) + ",";
    Set("InstallFiles1", list);
    ASSERT_EQ(Load(), 1);
    EXPECT_STREQ(setupInfo.selections[1].InstallFiles[39].data(), "f39");
}

struct ShortcutCase {
    const char* value;
    std::array<const char*, 4> fields;
};

class ShortcutTest : public SetupIniTest, public testing::WithParamInterface<ShortcutCase> {};

TEST_P(ShortcutTest, SplitsTheFields) {
    Set("Shortcut1", GetParam().value);
    ASSERT_EQ(Load(), 1);
    for (std::size_t field = 0; field < 4; ++field) {
        EXPECT_STREQ(setupInfo.Shortcut[1][field].data(), GetParam().fields[field]) << field;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ShortcutTest,
    testing::Values(ShortcutCase{"a,b", {"a", "b", "", ""}},
                    ShortcutCase{"a,b,", {"a", "b", "", ""}},
                    ShortcutCase{"a,b,,d", {"a", "b", "", "d"}},
                    ShortcutCase{"a,b,,,d", {"a", "b", "", "d"}},
                    ShortcutCase{"a,b, , ,d", {"a", "b", "", "d"}},
                    ShortcutCase{"a,b,c,d,e", {"a", "b", "c", "d"}},
                    ShortcutCase{"a,b,c", {"a", "b", "c", ""}},
                    ShortcutCase{"a,b,,", {"a", "b", "", ""}}));

}  // namespace
