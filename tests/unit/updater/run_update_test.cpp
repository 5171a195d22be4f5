#include "updater/run_update.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "config/setup_ini.h"
#include "package/format.h"
#include "platform/files.h"
#include "updater/state.h"
#include "updater_fixture.h"

namespace {

using namespace updater_test;
using platform::BoxKind;
using platform::HostControl;
using platform::HostReadFile;
using updater::state;

// ---- the line parsers ----------------------------------------------------

struct UpdateLineCase {
    const char* line;
    std::uint32_t installMode;
    bool applies;
    updater::UpdateAction action;
    std::string name;
    std::int32_t fileNameOffset;
};

class UpdateLineTest : public testing::TestWithParam<UpdateLineCase> {};

TEST_P(UpdateLineTest, GivesActionNameAndFileNamePart) {
    const UpdateLineCase& c = GetParam();
    updater::UpdateItem item;
    ASSERT_EQ(updater::ParseUpdateLine(c.line, c.installMode, &item), c.applies);
    if (!c.applies) return;
    EXPECT_EQ(item.action, c.action);
    EXPECT_EQ(std::string(item.name.data()), c.name);
    EXPECT_EQ(item.fileNameOffset, c.fileNameOffset);
}

const std::string LongName(300, 'a');
const std::string LongLine = "u," + LongName;

INSTANTIATE_TEST_SUITE_P(
    Lines, UpdateLineTest,
    testing::Values(
        UpdateLineCase{"u,system\\plugin.dll", 0, true, updater::ActionUpdate, "system\\plugin.dll", 7},
        UpdateLineCase{"U,a.dll", 0, true, updater::ActionUpdate, "a.dll", 0},
        UpdateLineCase{"D,save\\s.dat", 0, true, updater::ActionData, "save\\s.dat", 5},
        UpdateLineCase{"o,readme.txt", 0, true, updater::ActionOverwrite, "readme.txt", 0},
        UpdateLineCase{"patch.bin", 0, true, updater::ActionPlain, "patch.bin", 0},
        UpdateLineCase{"x,a.dll", 0, true, updater::ActionPlain, "x", 0},
        UpdateLineCase{"2,o,readme.txt", 2, true, updater::ActionOverwrite, "readme.txt", 0},
        UpdateLineCase{"2,o,readme.txt", 1, false, updater::ActionPlain, "", 0},
        UpdateLineCase{"12,u,a.dll", 0, true, updater::ActionPlain, "12", 0},
        UpdateLineCase{"u,1:a\\b.dll", 0, true, updater::ActionUpdate, "a\\b.dll", 2},
        UpdateLineCase{"u, a b.dll ", 0, true, updater::ActionUpdate, "a b.dll ", 0},
        UpdateLineCase{"u,dir/sub\\x.dll", 0, true, updater::ActionUpdate, "dir/sub\\x.dll", 8},
        // 表 is 0x95 0x5C: its second byte is no folder separator.
        UpdateLineCase{"u,表.dll", 0, true, updater::ActionUpdate, "表.dll", 0},
        UpdateLineCase{"u,表\\表.dll", 0, true, updater::ActionUpdate, "表\\表.dll", 3},
        UpdateLineCase{"u,", 0, true, updater::ActionUpdate, "", 0},
        UpdateLineCase{LongLine.c_str(), 0, true, updater::ActionUpdate, LongName.substr(0, 259), 0}));

struct CopyLineCase {
    const char* line;
    std::uint32_t installMode;
    bool applies;
    std::int32_t disc;
    std::string path;
};

class CopyLineTest : public testing::TestWithParam<CopyLineCase> {};

TEST_P(CopyLineTest, GivesDiscAndPath) {
    const CopyLineCase& c = GetParam();
    updater::CopyItem item;
    ASSERT_EQ(updater::ParseCopyLine(c.line, c.installMode, &item), c.applies);
    if (!c.applies) return;
    EXPECT_EQ(item.disc, c.disc);
    EXPECT_EQ(std::string(item.path.data()), c.path);
}

INSTANTIATE_TEST_SUITE_P(Lines, CopyLineTest,
                         testing::Values(CopyLineCase{"2,1:movie\\op.mpg", 2, true, 1, "movie\\op.mpg"},
                                         CopyLineCase{"2,1:movie\\op.mpg", 0, false, 0, ""},
                                         CopyLineCase{"1:movie", 5, true, 1, "movie"},
                                         CopyLineCase{"0:movie", 0, true, 0, "movie"},
                                         CopyLineCase{"movie", 0, true, 0, "movie"},
                                         // A drive letter is no disc: the line is refused whole.
                                         CopyLineCase{"a:movie", 0, true, updater::RefusedDisc, "a:movie"},
                                         CopyLineCase{"1,D:\\movie", 1, true, updater::RefusedDisc, "D:\\movie"},
                                         CopyLineCase{"9:a, b,c", 0, true, 9, "a, b,c"},
                                         CopyLineCase{"x,movie", 0, false, 0, ""},
                                         CopyLineCase{"m", 0, true, 0, "m"}));

// ---- RunUpdate over an installed game ------------------------------------

bool Idle(platform::Window, platform::DialogEvent, std::uintptr_t, std::intptr_t) { return false; }

class RunUpdateTest : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        PrepareUpdate({{"a.dll", "new a"},
                       {"b.dll", "new b"},
                       {"readme.txt", "new readme"},
                       {"s.dat", "fresh save"},
                       {"plugin.dll", "new plugin"}},
                      "");
    }

    // RunUpdate in a dialog of its own, as the wizard's second Next calls it.
    // The dialog's result, or HostScriptExhausted while it stays open.
    std::intptr_t Run(const std::string& keys) {
        SetUpdateSection(keys);
        platform::HostScriptDialog({[](platform::Window dialog) {
            state.wizardWindow = dialog;  // the owner of ShowUpdateError's boxes
            updater::RunUpdate(dialog);
        }});
        const std::intptr_t result = platform::RunModalDialog(nullptr, updater::TemplateWithoutAgreement, Idle);
        dialog_ = platform::HostLastDialog();
        return result;
    }

    std::string Text(int id) const { return HostControl(dialog_, id)->text; }
    bool Enabled(int id) const { return HostControl(dialog_, id)->enabled; }

    void ExpectCompleted() const {
        EXPECT_EQ(Text(updater::IdInfo), "アップデートは完了しました");
        EXPECT_EQ(Text(updater::IdNext), "完了");
        EXPECT_TRUE(Enabled(updater::IdNext));
        EXPECT_TRUE(HostControl(dialog_, updater::IdNext)->focused);
        EXPECT_FALSE(Enabled(updater::IdBack));
        EXPECT_FALSE(Enabled(updater::IdCancel));
        EXPECT_EQ(platform::HostCursor(), platform::CursorShape::Arrow);
    }

    platform::Window dialog_ = nullptr;
};

TEST_F(RunUpdateTest, CompletesWithTheFinalPageState) {
    EXPECT_EQ(Run("UpdateFile00=a.dll\r\n"), platform::HostScriptExhausted);
    ExpectCompleted();
    // Keys typed while it ran must not press 完了.
    EXPECT_EQ(platform::HostTypedAheadDrops(), 1);
    EXPECT_EQ(HostReadFile("C:\\GAME\\a.dll"), "new a");
    EXPECT_EQ(platform::HostFileTime("C:\\GAME\\a.dll"), EntryTime);
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
}

// What one update line does to an existing (or missing) target.
struct ActionCase {
    const char* name;
    std::string line;
    const char* target;
    std::optional<std::string> existing;  // content, stamped `existingTime`
    platform::FileTime existingTime;
    std::optional<std::string> expected;  // content afterwards
    std::optional<platform::FileTime> expectedTime;
};

class ActionTest : public RunUpdateTest, public testing::WithParamInterface<ActionCase> {};

TEST_P(ActionTest, WritesOrKeepsTheTarget) {
    const ActionCase& c = GetParam();
    if (c.existing) {
        platform::HostWriteFile(c.target, *c.existing);
        platform::HostSetFileTime(c.target, c.existingTime);
    }
    Run("UpdateFile00=" + c.line + "\r\n");
    ExpectCompleted();
    EXPECT_EQ(HostReadFile(c.target), c.expected);
    if (c.expectedTime) {
        EXPECT_EQ(platform::HostFileTime(c.target), *c.expectedTime);
    }
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ActionTest,
    testing::Values(
        ActionCase{"PlainReplacesNewer", "a.dll", "C:\\GAME\\a.dll", "mine", NewerTime, "new a", EntryTime},
        ActionCase{"PlainCreates", "a.dll", "C:\\GAME\\a.dll", std::nullopt, 0, "new a", EntryTime},
        ActionCase{"UpdateKeepsNewer", "u,a.dll", "C:\\GAME\\a.dll", "mine", NewerTime, "mine", NewerTime},
        ActionCase{"UpdateUpperCaseKeepsNewer", "U,a.dll", "C:\\GAME\\a.dll", "mine", NewerTime, "mine",
                   NewerTime},
        ActionCase{"UpdateReplacesOlder", "u,a.dll", "C:\\GAME\\a.dll", "mine", OlderTime, "new a", EntryTime},
        ActionCase{"UpdateIntoSubfolder", "u,sys\\plugin.dll", "C:\\GAME\\sys\\plugin.dll", "old", OlderTime,
                   "new plugin", EntryTime},
        ActionCase{"OverwriteReplaces", "o,readme.txt", "C:\\GAME\\readme.txt", "old", NewerTime,
                   "new readme", EntryTime},
        ActionCase{"OverwriteSkipsMissing", "O,a.dll", "C:\\GAME\\a.dll", std::nullopt, 0, std::nullopt,
                   std::nullopt},
        ActionCase{"DataCreatesMissingInDataPath", "d,s.dat", "C:\\SAVE\\s.dat", std::nullopt, 0,
                   "fresh save", EntryTime},
        ActionCase{"ModeFilterApplies", "0,o,readme.txt", "C:\\GAME\\readme.txt", "old", OlderTime,
                   "new readme", EntryTime}),
    [](const testing::TestParamInfo<ActionCase>& info) { return std::string(info.param.name); });

TEST_F(RunUpdateTest, AModeFilterOfAnotherModeSkipsTheLine) {
    Run("UpdateFile00=2,o,readme.txt\r\nUpdateFile01=a.dll\r\n");
    ExpectCompleted();
    EXPECT_EQ(HostReadFile("C:\\GAME\\README.TXT"), "old readme");
}

TEST_F(RunUpdateTest, DataKeepsAnExistingSaveAndRenewsItsTime) {
    platform::HostWriteFile("C:\\SAVE\\s.dat", "my progress");
    platform::HostSetFileTime("C:\\SAVE\\s.dat", OlderTime);
    Run("UpdateFile00=d,s.dat\r\n");
    ExpectCompleted();
    EXPECT_EQ(HostReadFile("C:\\SAVE\\s.dat"), "my progress");
    EXPECT_GT(platform::HostFileTime("C:\\SAVE\\s.dat"), NewerTime);
}

TEST_F(RunUpdateTest, DataOverAReadOnlySaveChangesNothingAndGoesOn) {
    platform::HostWriteFile("C:\\SAVE\\s.dat", "my progress");
    platform::HostSetFileTime("C:\\SAVE\\s.dat", OlderTime);
    ASSERT_TRUE(platform::SetAttributes("C:\\SAVE\\s.dat", platform::AttributeReadOnly));
    Run("UpdateFile00=d,s.dat\r\nUpdateFile01=a.dll\r\n");
    ExpectCompleted();
    EXPECT_EQ(HostReadFile("C:\\SAVE\\s.dat"), "my progress");
    EXPECT_EQ(platform::HostFileTime("C:\\SAVE\\s.dat"), OlderTime);
    EXPECT_EQ(HostReadFile("C:\\GAME\\a.dll"), "new a");
}

TEST_F(RunUpdateTest, DataWriteBackThatFailsLeavesTheSaveWhole) {
    platform::HostWriteFile("C:\\SAVE\\s.dat", "my progress");
    platform::HostPlanFault(platform::FaultKind::Write, 1);
    Run("UpdateFile00=d,s.dat\r\n");
    ExpectCompleted();
    EXPECT_EQ(platform::HostFaultsFired(platform::FaultKind::Write), 1);
    EXPECT_EQ(HostReadFile("C:\\SAVE\\s.dat"), "my progress");
}

TEST_F(RunUpdateTest, DataKeepsASaveThatCantBeRead) {
    for (const platform::FaultKind fault : {platform::FaultKind::Open, platform::FaultKind::Read}) {
        SCOPED_TRACE(static_cast<int>(fault));
        platform::HostWriteFile("C:\\SAVE\\s.dat", "my progress");
        platform::HostPlanFault(fault, 1);
        Run("UpdateFile00=d,s.dat\r\nUpdateFile01=a.dll\r\n");
        ExpectCompleted();
        EXPECT_EQ(platform::HostFaultsFired(fault), 1);
        EXPECT_EQ(HostReadFile("C:\\SAVE\\s.dat"), "my progress");
        EXPECT_EQ(HostReadFile("C:\\GAME\\a.dll"), "new a");
    }
}

TEST_F(RunUpdateTest, DataFolderSitsBetweenBaseAndNameAndIsCreated) {
    updater::CopyText(state.DataFolder, "v2");
    Run("UpdateFile00=a.dll\r\nUpdateFile01=d,s.dat\r\n");
    ExpectCompleted();
    EXPECT_EQ(HostReadFile("C:\\GAME\\v2\\a.dll"), "new a");
    EXPECT_EQ(HostReadFile("C:\\SAVE\\v2\\s.dat"), "fresh save");
}

TEST_F(RunUpdateTest, TwoNamesTakeTheSameEntryToTwoPlaces) {
    std::filesystem::create_directories(platform::HostPath("C:\\GAME") + "/x");
    std::filesystem::create_directories(platform::HostPath("C:\\GAME") + "/y");
    Run("UpdateFile00=x\\a.dll\r\nUpdateFile01=y\\a.dll\r\n");
    ExpectCompleted();
    EXPECT_EQ(HostReadFile("C:\\GAME\\x\\a.dll"), "new a");
    EXPECT_EQ(HostReadFile("C:\\GAME\\y\\a.dll"), "new a");
}

TEST_F(RunUpdateTest, AGapEndsTheList) {
    Run("UpdateFile00=a.dll\r\nUpdateFile01=b.dll\r\nUpdateFile03=readme.txt\r\n"
        "CopyFile01=1:movie\r\n");
    ExpectCompleted();
    EXPECT_EQ(HostReadFile("C:\\GAME\\b.dll"), "new b");
    EXPECT_EQ(HostReadFile("C:\\GAME\\README.TXT"), "old readme");
    EXPECT_TRUE(platform::HostRecordedCopies().empty());
}

TEST_F(RunUpdateTest, SixteenKeysAreReadAndNoMore) {
    std::string keys;
    char key[64];
    for (int k = 0; k < 15; ++k) {
        std::snprintf(key, sizeof key, "UpdateFile%02d=a.dll\r\n", k);
        keys += key;
    }
    Run(keys + "UpdateFile15=b.dll\r\nUpdateFile16=readme.txt\r\n");
    ExpectCompleted();
    EXPECT_EQ(HostReadFile("C:\\GAME\\b.dll"), "new b");
    EXPECT_EQ(HostReadFile("C:\\GAME\\README.TXT"), "old readme");
}

struct OverwriteOnlyCase {
    const char* value;
    bool skipsMissing;
};

class OverwriteOnlyTest : public RunUpdateTest, public testing::WithParamInterface<OverwriteOnlyCase> {};

TEST_P(OverwriteOnlyTest, DecidesWhetherMissingTargetsAreWritten) {
    platform::HostWriteFile("C:\\SAVE\\s.dat", "my progress");
    Run(std::string(GetParam().value) + "UpdateFile00=a.dll\r\nUpdateFile01=README.TXT\r\n"
                                        "UpdateFile02=d,s.dat\r\nUpdateFile03=d,b.dll\r\n");
    ExpectCompleted();
    const bool written = !GetParam().skipsMissing;
    EXPECT_EQ(HostReadFile("C:\\GAME\\a.dll").has_value(), written);
    EXPECT_EQ(HostReadFile("C:\\SAVE\\b.dll").has_value(), written);
    // Existing files are written either way.
    EXPECT_EQ(HostReadFile("C:\\GAME\\README.TXT"), "new readme");
    EXPECT_EQ(HostReadFile("C:\\SAVE\\s.dat"), "my progress");
}

INSTANTIATE_TEST_SUITE_P(Values, OverwriteOnlyTest,
                         testing::Values(OverwriteOnlyCase{"OverwriteOnly=1\r\n", true},
                                         OverwriteOnlyCase{"OverwriteOnly=-3\r\n", true},
                                         OverwriteOnlyCase{"OverwriteOnly=0\r\n", false},
                                         OverwriteOnlyCase{"OverwriteOnly=yes\r\n", false},
                                         OverwriteOnlyCase{"", false}));

TEST_F(RunUpdateTest, WithoutASaveFolderSaveItemsFailUnlessOverwriteOnlySkipsThem) {
    updater::state.dataPath.fill('\0');
    Run("OverwriteOnly=1\r\nUpdateFile00=d,s.dat\r\nUpdateFile01=README.TXT\r\n");
    ExpectCompleted();
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
    EXPECT_EQ(HostReadFile("C:\\GAME\\README.TXT"), "new readme");

    // Not in the folder the updater was started from, as the relative
    // path left would have it.
    platform::MakeFolder("C:\\START");
    platform::HostSetCurrentFolder("C:\\START");
    EXPECT_EQ(Run("UpdateFile00=README.TXT\r\nUpdateFile01=d,s.dat\r\n"), -1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ファイルの書き込みに失敗しました"});
    EXPECT_TRUE(std::filesystem::is_empty(platform::HostPath("C:\\START")));
}

TEST_F(RunUpdateTest, OverwriteOnlySkipsATargetThatIsAFolder) {
    std::filesystem::create_directories(platform::HostPath("C:\\GAME") + "/a.dll");
    Run("OverwriteOnly=1\r\nUpdateFile00=a.dll\r\n");
    ExpectCompleted();
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
}

// RequiredDiskSpace against 1000 free bytes on C:.
struct DiskSpaceCase {
    const char* value;
    std::optional<std::string> shortfall;  // the info text, when short
};

class DiskSpaceTest : public RunUpdateTest, public testing::WithParamInterface<DiskSpaceCase> {};

TEST_P(DiskSpaceTest, StopsOnlyWhenShort) {
    platform::HostSetFreeSpace('C', 1000, 100000, 1000);
    Run(std::string("RequiredDiskSpace=") + GetParam().value + "\r\nUpdateFile00=a.dll\r\n");
    if (!GetParam().shortfall) {
        ExpectCompleted();
        return;
    }
    EXPECT_EQ(Text(updater::IdInfo), *GetParam().shortfall);
    EXPECT_TRUE(Enabled(updater::IdBack));
    EXPECT_FALSE(Enabled(updater::IdNext));
    EXPECT_TRUE(Enabled(updater::IdCancel));
    EXPECT_EQ(HostReadFile("C:\\GAME\\a.dll"), std::nullopt);
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
    EXPECT_EQ(platform::HostDialogResult(dialog_), platform::HostScriptExhausted);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DiskSpaceTest,
    testing::Values(DiskSpaceCase{"0", std::nullopt}, DiskSpaceCase{"abc", std::nullopt},
                    DiskSpaceCase{"1000", std::nullopt},
                    DiskSpaceCase{"1001", "ディスク容量が足りません。\rC: ドライブに 1 バイトの空き容量が必要です"},
                    // -1 asks for 4294967295 bytes; the shortfall is printed unsigned.
                    DiskSpaceCase{"-1", "ディスク容量が足りません。\rC: ドライブに 4294966295 バイトの空き容量が必要です"}));

TEST_F(RunUpdateTest, AFailingFreeSpaceQueryLetsTheUpdateGoAhead) {
    platform::HostSetExtendedQuery(platform::ExtendedQuery::Failing);
    Run("RequiredDiskSpace=5000\r\nUpdateFile00=a.dll\r\n");
    ExpectCompleted();
}

TEST_F(RunUpdateTest, NothingToDoEndsTheDialog) {
    EXPECT_EQ(Run("UpdateFile00=2,a.dll\r\nCopyFile00=3,1:movie\r\n"), -1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No 'UpdateFileXX' and 'CopyFileXX'"});
    EXPECT_EQ(platform::HostRecordedBoxes()[0].kind, BoxKind::ErrorOk);
    EXPECT_EQ(platform::HostRecordedBoxes()[0].caption, "デモゲーム アップデータ 1.01");
}

TEST_F(RunUpdateTest, AMissingEntryEndsTheDialogAfterEarlierItems) {
    // 12 is no mode filter: the line names the entry "12".
    EXPECT_EQ(Run("UpdateFile00=a.dll\r\nUpdateFile01=12,u,b.dll\r\nUpdateFile02=readme.txt\r\n"), -1);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Can't Find File in Resource !!", "ファイルの書き込みに失敗しました"}));
    EXPECT_EQ(HostReadFile("C:\\GAME\\a.dll"), "new a");
    EXPECT_EQ(HostReadFile("C:\\GAME\\README.TXT"), "old readme");
}

TEST_F(RunUpdateTest, AWriteFailureHalfwayLeavesNothingHalfWritten) {
    platform::HostWriteFile("C:\\GAME\\b.dll", "old b");
    platform::HostPlanFault(platform::FaultKind::ShortWrite, 2);
    EXPECT_EQ(Run("UpdateFile00=a.dll\r\nUpdateFile01=b.dll\r\nUpdateFile02=readme.txt\r\n"), -1);
    EXPECT_EQ(platform::HostFaultsFired(platform::FaultKind::ShortWrite), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ファイルの書き込みに失敗しました"});
    EXPECT_EQ(platform::HostRecordedBoxes()[0].owner, dialog_);
    EXPECT_EQ(HostReadFile("C:\\GAME\\a.dll"), "new a");
    EXPECT_EQ(HostReadFile("C:\\GAME\\b.dll"), "old b");
    EXPECT_EQ(HostReadFile("C:\\GAME\\README.TXT"), "old readme");
    EXPECT_EQ(FolderContents(InstallFolder), (std::vector<std::string>{"README.TXT", "SETUP.INI", "a.dll", "b.dll"}));
}

TEST_F(RunUpdateTest, AFolderInTheWayIsAWriteFailure) {
    std::filesystem::create_directories(platform::HostPath("C:\\GAME") + "/a.dll");
    EXPECT_EQ(Run("UpdateFile00=a.dll\r\n"), -1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ファイルの書き込みに失敗しました"});
}

// ---- copies from the CD-ROM ----------------------------------------------

TEST_F(RunUpdateTest, CopiesAFileFromTheDriveThatHoldsTheDisc) {
    InsertDisc('D', 2);
    const std::string disc = InsertDisc('E', 1);
    std::filesystem::create_directories(disc + "/movie");
    std::ofstream(disc + "/movie/op.mpg") << "movie";
    ASSERT_TRUE(platform::SetAttributes("E:\\movie\\op.mpg", platform::AttributeReadOnly));

    Run("CopyFile00=1:movie\\op.mpg\r\n");
    ExpectCompleted();
    ASSERT_EQ(platform::HostRecordedCopies().size(), 1u);
    const platform::RecordedCopy& copy = platform::HostRecordedCopies()[0];
    EXPECT_EQ(copy.from, "E:\\movie\\op.mpg");
    EXPECT_EQ(copy.to, "C:\\GAME\\movie\\op.mpg");
    EXPECT_EQ(copy.flags, 0x210);
    EXPECT_EQ(copy.owner, dialog_);
    EXPECT_EQ(HostReadFile("C:\\GAME\\movie\\op.mpg"), "movie");
    EXPECT_EQ(platform::GetAttributes("C:\\GAME\\movie\\op.mpg") & platform::AttributeReadOnly, 0u);
}

TEST_F(RunUpdateTest, CopiesAFolderIntoTheInstallFolder) {
    const std::string disc = InsertDisc('D', 1);
    InsertDisc('E', 1);
    std::filesystem::create_directories(disc + "/movie");
    std::ofstream(disc + "/movie/ed.mpg") << "ending";

    Run("CopyFile00=1:movie\r\nCopyFile01=movie\\ed.mpg\r\n");
    ExpectCompleted();
    ASSERT_EQ(platform::HostRecordedCopies().size(), 2u);
    EXPECT_EQ(platform::HostRecordedCopies()[0].from, "D:\\movie");
    EXPECT_EQ(platform::HostRecordedCopies()[0].to, "C:\\GAME");
    EXPECT_EQ(platform::HostRecordedCopies()[0].flags, 0x610);
    // The second item has no disc of its own: it uses the first one's drive.
    EXPECT_EQ(platform::HostRecordedCopies()[1].from, "D:\\movie\\ed.mpg");
    EXPECT_EQ(HostReadFile("C:\\GAME\\movie\\ed.mpg"), "ending");
}

TEST_F(RunUpdateTest, AsksForTheDiscUntilItIsInserted) {
    platform::HostAddCdromDrive('E', "");
    // Meanwhile the page says what goes on, and no button can be pressed.
    platform::HostScriptAnswer(platform::BoxAnswer::Ok, [] {
        const platform::Window dialog = platform::HostLastDialog();
        EXPECT_EQ(HostControl(dialog, updater::IdInfo)->text, "アップデートを実行しています");
        for (const int id : {updater::IdBack, updater::IdNext, updater::IdCancel}) {
            EXPECT_FALSE(HostControl(dialog, id)->enabled) << id;
        }
    });
    platform::HostScriptAnswer(platform::BoxAnswer::Ok, [this] {
        const std::string disc = InsertDisc('E', 2);
        std::ofstream(disc + "/extra.dat") << "extra";
    });
    Run("CopyFile00=2:extra.dat\r\n");
    ExpectCompleted();
    const std::string prompt = "ＣＤ－ＲＯＭドライブに「デモゲーム」ディスク 2 を入れて下さい";
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{prompt, prompt}));
    EXPECT_EQ(platform::HostRecordedBoxes()[0].kind, BoxKind::OkCancel);
    EXPECT_EQ(platform::HostRecordedBoxes()[0].owner, dialog_);
    EXPECT_EQ(platform::HostRecordedBoxes()[0].caption, "デモゲーム アップデータ 1.01");
    EXPECT_EQ(HostReadFile("C:\\GAME\\extra.dat"), "extra");
}

TEST_F(RunUpdateTest, ThePageNamesWhatIsBeingCopied) {
    std::filesystem::create_directories(InsertDisc('E', 1) + "/movie");
    platform::HostScriptAnswer(platform::BoxAnswer::Cancel, [] {
        EXPECT_EQ(HostControl(platform::HostLastDialog(), updater::IdInfo)->text, "movie をコピーしています");
    });
    EXPECT_EQ(Run("CopyFile00=1:movie\r\nCopyFile01=2:extra.dat\r\n"), -1);
    EXPECT_EQ(platform::HostRecordedBoxes().size(), 1u);
}

TEST_F(RunUpdateTest, CancelAtTheDiscPromptEndsTheDialogQuietly) {
    platform::HostScriptAnswer(platform::BoxAnswer::Cancel);
    EXPECT_EQ(Run("UpdateFile00=a.dll\r\nCopyFile00=1:movie\r\n"), -1);
    EXPECT_EQ(platform::HostRecordedBoxes().size(), 1u);
    EXPECT_TRUE(platform::HostRecordedCopies().empty());
    EXPECT_EQ(HostReadFile("C:\\GAME\\a.dll"), "new a");
}

TEST_F(RunUpdateTest, ACopyWithoutAnyDiscIsACopyFailure) {
    InsertDisc('E', 1);
    EXPECT_EQ(Run("CopyFile00=movie\r\nCopyFile01=1:movie\r\n"), -1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"SETUP.INI : \"movie\" のコピーに失敗しました"});
    EXPECT_TRUE(platform::HostRecordedCopies().empty());
}

TEST_F(RunUpdateTest, ACopyLineWithADriveLetterIsRefusedAsACopyFailure) {
    std::filesystem::create_directories(InsertDisc('E', 1) + "/movie");
    EXPECT_EQ(Run("CopyFile00=1:movie\r\nCopyFile01=E:\\movie\r\n"), -1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"SETUP.INI : \"E:\\movie\" のコピーに失敗しました"});
    EXPECT_EQ(platform::HostRecordedCopies().size(), 1u);
}

TEST_F(RunUpdateTest, AShellAbortEndsTheDialogQuietly) {
    InsertDisc('E', 1);
    platform::HostAbortShellCopy(true);
    EXPECT_EQ(Run("CopyFile00=1:movie\r\n"), -1);
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
}

TEST_F(RunUpdateTest, AShellFailureIsReportedInAnErrorBoxOwnedByTheDialog) {
    InsertDisc('E', 1);
    platform::HostFailShellCopy(0x402);
    EXPECT_EQ(Run("CopyFile00=1:movie\r\n"), -1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"SETUP.INI : \"movie\" のコピーに失敗しました"});
    EXPECT_EQ(platform::HostRecordedBoxes()[0].kind, BoxKind::ErrorOk);
    EXPECT_EQ(platform::HostRecordedBoxes()[0].owner, dialog_);
}

}  // namespace
