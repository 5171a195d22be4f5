#include "updater/startup.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "config/setup_ini.h"
#include "platform/desktop.h"
#include "updater/state.h"
#include "updater_fixture.h"

namespace {

using namespace updater_test;
using platform::BoxAnswer;
using platform::HostClick;
using platform::Window;
using updater::state;

using Step = std::function<void(Window)>;

Step Click(int id) {
    return [id](Window dialog) { EXPECT_TRUE(HostClick(dialog, id)) << "control " << id; };
}

const std::vector<Step> ThroughTheWizard = {Click(updater::IdNext), Click(updater::IdNext),
                                            Click(updater::IdNext)};

// UPDATE.INI's game title differs from SETUP.INI's, so the messages show
// which of the two they use; so does its window class.
constexpr const char* UpdateIniTitle = "デモ";
constexpr const char* Caption = "デモゲーム アップデータ 1.01";
constexpr const char* Aborted = "アップデートが中断されました";

class StartupTest : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        setupKeys = {{"CompanyName", "DemoSoft"}, {"GameTitle", UpdateIniTitle}, {"GameClass", "UpdClass"},
                     {"GameDir", "DemoGame"},     {"UpdaterVersion", "1.01"}};
        entries = {{"README.TXT", "new readme"}, {"AGREE.TXT", "規約の本文"}, {"INTRO.TXT", "ようこそ 100%"}};
        updateKeys = "UpdateFile00=README.TXT\r\n";
    }

    std::string UpdateIni() const {
        std::string text = "[SETUP]\r\n";
        for (const auto& [key, value] : setupKeys) text += key + "=" + value + "\r\n";
        return text + "[UPDATE]\r\n" + updateKeys;
    }

    // Sets up the machine from the members, runs WinMain with the scripted
    // user, and checks that the run left nothing in the temporary folder.
    int RunUpdater(std::vector<Step> steps = {}) {
        InstallGame(0, registered);
        Entries packaged = entries;
        packaged["UPDATE.INI"] = UpdateIni();
        platform::HostSetPackageResource(MakePackage(packaged));
        if (arrange) arrange();
        platform::HostScriptDialog(std::move(steps));
        const int exitCode = updater::WinMain(nullptr);
        EXPECT_EQ(TempFolderContents(), std::vector<std::string>{});
        EXPECT_FALSE(state.directory.block);
        return exitCode;
    }

public:
    // What the next run finds; cases of the tables change these.
    std::map<std::string, std::string> setupKeys;
    Entries entries;
    std::string updateKeys;
    bool registered = true;
    std::function<void()> arrange;  // after the machine is set up
};

TEST_F(StartupTest, ACompletedUpdateExitsWithOne) {
    EXPECT_EQ(RunUpdater(ThroughTheWizard), 1);
    EXPECT_EQ(platform::HostReadFile("C:\\GAME\\README.TXT"), "new readme");
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
    const Window dialog = platform::HostLastDialog();
    EXPECT_EQ(platform::HostDialogTemplate(dialog), updater::TemplateWithoutAgreement);
    EXPECT_EQ(platform::HostWindowTitle(dialog), Caption);
    EXPECT_EQ(state.wizardWindow, nullptr);
}

TEST_F(StartupTest, TheAgreementSelectsItsTemplateAndMustBeAccepted) {
    setupKeys["AgreementText"] = "agree.txt";
    setupKeys["AgreementTitle"] = "INTRO.TXT";
    EXPECT_EQ(RunUpdater({[](Window dialog) {
                              EXPECT_EQ(platform::HostControl(dialog, updater::IdAgreement)->text, "規約の本文");
                              EXPECT_EQ(platform::HostControl(dialog, updater::IdInfo)->text, "ようこそ 100%");
                              EXPECT_FALSE(HostClick(dialog, updater::IdNext));
                          },
                          Click(updater::IdAgree), Click(updater::IdNext), Click(updater::IdNext),
                          Click(updater::IdNext)}),
              1);
    EXPECT_EQ(platform::HostDialogTemplate(platform::HostLastDialog()), updater::TemplateWithAgreement);
}

TEST_F(StartupTest, AnEmptyAgreementEntryStillSelectsTheAgreementTemplate) {
    entries["EMPTY.TXT"] = "";
    setupKeys["AgreementText"] = "EMPTY.TXT";
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_EQ(platform::HostDialogTemplate(platform::HostLastDialog()), updater::TemplateWithAgreement);
    ASSERT_NE(state.agreementText, nullptr);
    EXPECT_EQ(state.agreementText[0], '\0');
    EXPECT_EQ(state.agreementText[1], '\0');
}

// Runs that end before the wizard, each with what the user sees.
struct EarlyEnd {
    const char* name;
    std::function<void(StartupTest&)> change;
    std::vector<std::string> boxes;
};

// The game registered with `path` as its install folder.
EarlyEnd WithInstPath(const char* name, std::string path, std::vector<std::string> boxes) {
    return {name,
            [path](StartupTest& t) {
                t.arrange = [path] { platform::HostSetRegistryString(RegistryKey, "InstPath", path); };
            },
            std::move(boxes)};
}

class EarlyEndTest : public StartupTest, public testing::WithParamInterface<EarlyEnd> {};

TEST_P(EarlyEndTest, ShowsItsMessageAndCleansUp) {
    GetParam().change(*this);
    EXPECT_EQ(RunUpdater(ThroughTheWizard), 0);
    EXPECT_EQ(BoxTexts(), GetParam().boxes);
    for (const platform::RecordedBox& box : platform::HostRecordedBoxes()) EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(platform::HostLastDialog(), nullptr);
}

const std::string NotInstalled = std::string("「") + UpdateIniTitle + "」がインストールされていません";

INSTANTIATE_TEST_SUITE_P(
    Failures, EarlyEndTest,
    testing::Values(
        EarlyEnd{"NoResource",
                 [](StartupTest& t) { t.arrange = [] { platform::HostSetPackageResource({}); }; },
                 {}},
        EarlyEnd{"DamagedPackage",
                 [](StartupTest& t) {
                     t.arrange = [] { platform::HostSetPackageResource({'F', 'A', '2', 0, 0, 0, 0, 0}); };
                 },
                 {"RESOURCE READ ERROR"}},
        EarlyEnd{"NoUpdateIni",
                 [](StartupTest& t) {
                     t.arrange = [] {
                         platform::HostSetPackageResource(MakePackage({{"README.TXT", "x"}}));
                     };
                 },
                 {"Can't Find File in Resource !!"}},
        EarlyEnd{"NoRunFolder",
                 [](StartupTest& t) {
                     t.arrange = [] { platform::HostPlanFault(platform::FaultKind::MakeFolder, 1); };
                 },
                 {"ファイルの書き込みに失敗しました"}},
        // Deep enough for the run's folder, too deep for UPDATE.INI in it.
        EarlyEnd{"TempFolderTooDeep",
                 [](StartupTest& t) {
                     t.arrange = [] {
                         const std::string deep = "C:\\DEEP\\" + std::string(230, 'd');
                         std::filesystem::create_directories(platform::HostPath(deep.c_str()));
                         platform::HostSetTempFolder(deep + "\\");
                     };
                 },
                 {"ファイルの書き込みに失敗しました"}},
        EarlyEnd{"MissingGameClass", [](StartupTest& t) { t.setupKeys.erase("GameClass"); },
                 {"SETUP : GameClass キーが存在しません"}},
        EarlyEnd{"EmptyCompanyName", [](StartupTest& t) { t.setupKeys["CompanyName"] = ""; },
                 {"SETUP : CompanyName キーが存在しません"}},
        EarlyEnd{"MissingAgreementEntry", [](StartupTest& t) { t.setupKeys["AgreementText"] = "NOPE.TXT"; },
                 {"Can't Find File in Resource !!", "'NOPE.TXT' not found at UPDATE.FA3"}},
        EarlyEnd{"MissingIntroEntry", [](StartupTest& t) { t.setupKeys["AgreementTitle"] = "NOPE.TXT"; },
                 {"Can't Find File in Resource !!", "'NOPE.TXT' not found at UPDATE.FA3"}},
        EarlyEnd{"NoRegistryKey", [](StartupTest& t) { t.registered = false; }, {NotInstalled}},
        EarlyEnd{"NoInstPath",
                 [](StartupTest& t) {
                     t.registered = false;
                     t.arrange = [] { platform::HostSetRegistryDword(RegistryKey, "InstMode", 0); };
                 },
                 {NotInstalled}},
        EarlyEnd{"NoInstMode",
                 [](StartupTest& t) {
                     t.registered = false;
                     t.arrange = [] { platform::HostSetRegistryString(RegistryKey, "InstPath", InstallFolder); };
                 },
                 {NotInstalled}},
        // A path that is not full would make every target relative to
        // whatever folder the updater was started from.
        WithInstPath("EmptyInstPath", "", {NotInstalled}),
        WithInstPath("RelativeInstPath", "GAME", {NotInstalled}),
        WithInstPath("InstPathOnADriveWithoutItsRoot", "C:GAME", {NotInstalled}),
        // A share passes; this machine has none, so its SETUP.INI is missing.
        WithInstPath("InstPathOnAShare", "\\\\SERVER\\GAMES",
                     {"インストール先に \"SETUP.INI\" ファイルが見つかりません"}),
        EarlyEnd{"InstPathTooLong",
                 [](StartupTest& t) {
                     t.arrange = [] {
                         platform::HostSetRegistryString(RegistryKey, "InstPath", "C:\\" + std::string(300, 'g'));
                     };
                 },
                 {NotInstalled}},
        // 260 bytes without a terminator fill the buffer: the path would
        // have no end, though it starts as a full one.
        EarlyEnd{"InstPathFillsTheBufferUnterminated",
                 [](StartupTest& t) {
                     t.arrange = [] {
                         const std::string path = "C:\\" + std::string(257, 'g');
                         platform::HostSetRegistryValue(RegistryKey, "InstPath",
                                                        std::vector<std::uint8_t>(path.begin(), path.end()));
                     };
                 },
                 {NotInstalled}},
        EarlyEnd{"InstModeTooLong",
                 [](StartupTest& t) {
                     t.arrange = [] { platform::HostSetRegistryValue(RegistryKey, "InstMode", {0, 0, 0, 0, 0}); };
                 },
                 {NotInstalled}},
        EarlyEnd{"NoSetupIni",
                 [](StartupTest& t) {
                     t.arrange = [] { std::filesystem::remove(platform::HostPath("C:\\GAME\\SETUP.INI")); };
                 },
                 {"インストール先に \"SETUP.INI\" ファイルが見つかりません"}},
        // The update message comes after the registry and before SETUP.INI.
        EarlyEnd{"UpdateMessageNotShownWhenNotInstalled",
                 [](StartupTest& t) {
                     t.setupKeys["UpdateMessage"] = "お知らせ";
                     t.registered = false;
                 },
                 {NotInstalled}},
        EarlyEnd{"UpdateMessageShownBeforeSetupIniIsMissed",
                 [](StartupTest& t) {
                     t.setupKeys["UpdateMessage"] = "お知らせ";
                     t.arrange = [] { std::filesystem::remove(platform::HostPath("C:\\GAME\\SETUP.INI")); };
                 },
                 {"お知らせ", "インストール先に \"SETUP.INI\" ファイルが見つかりません"}},
        EarlyEnd{"SetupIniFault",
                 [](StartupTest& t) {
                     t.arrange = [] {
                         platform::HostWriteFile("C:\\GAME\\SETUP.INI", "[SETUP]\r\nCompanyName=DemoSoft\r\n"
                                                                         "GameTitle=デモゲーム\r\nGameDir=DemoGame\r\n");
                     };
                 },
                 {"SETUP.INI : GameExe キーが存在しません"}},
        EarlyEnd{"AnotherUpdaterOpen",
                 [](StartupTest& t) { t.arrange = [] { platform::HostOpenWindow("#32770", Caption); }; }, {}}),
    [](const testing::TestParamInfo<EarlyEnd>& info) { return std::string(info.param.name); });

TEST_F(StartupTest, TheBoxesBeforeTheCaptionIsBuiltSayUpdate) {
    arrange = [] { platform::HostSetPackageResource({1, 2, 3}); };
    RunUpdater();
    ASSERT_EQ(platform::HostRecordedBoxes().size(), 1u);
    EXPECT_EQ(platform::HostRecordedBoxes()[0].caption, "UPDATE");
    EXPECT_EQ(platform::HostRecordedBoxes()[0].kind, platform::BoxKind::ErrorOk);
}

// Before the running game is looked for: the player sees the updater
// already open, not a question about the game.
TEST_F(StartupTest, AnotherUpdaterIsBroughtToTheFront) {
    Window other = nullptr;
    Window game = nullptr;
    arrange = [&] {
        other = platform::HostOpenWindow("#32770", Caption);
        game = platform::HostOpenWindow("DemoClass", "デモゲーム");
    };
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_TRUE(platform::HostWindowRaised(other));
    EXPECT_FALSE(platform::HostWindowRaised(game));
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
}

TEST_F(StartupTest, AMissingUnterminatedOrRelativeDataPathLeavesItEmpty) {
    // 260 bytes without a terminator are too large for the buffer, though
    // they start as a full path.
    const std::string unterminated = "D:\\" + std::string(257, 's');
    const std::vector<std::optional<std::vector<std::uint8_t>>> values{
        std::nullopt, std::vector<std::uint8_t>(unterminated.begin(), unterminated.end()),
        std::vector<std::uint8_t>{'S', 'A', 'V', 'E', 0}};
    for (const auto& value : values) {
        SCOPED_TRACE(value ? value->size() : 0);
        platform::HostReset(root().string());
        updater::ResetUpdateState();
        registered = false;
        arrange = [&value] {
            platform::HostSetRegistryString(RegistryKey, "InstPath", InstallFolder);
            platform::HostSetRegistryDword(RegistryKey, "InstMode", 0);
            if (value) platform::HostSetRegistryValue(RegistryKey, "DataPath", *value);
        };
        EXPECT_EQ(RunUpdater(ThroughTheWizard), 1);
        EXPECT_EQ(state.dataPath[0], '\0');
    }
}

TEST_F(StartupTest, AnInstallPathWrittenWithSlashesIsAFullPath) {
    registered = false;
    arrange = [] {
        platform::HostSetRegistryString(RegistryKey, "InstPath", "C:/GAME");
        platform::HostSetRegistryDword(RegistryKey, "InstMode", 0);
    };
    EXPECT_EQ(RunUpdater(ThroughTheWizard), 1);
}

TEST_F(StartupTest, TheUpdateMessageIsShownOnceBeforeTheWizard) {
    setupKeys["UpdateMessage"] = "表n\\n2行目";
    EXPECT_EQ(RunUpdater(ThroughTheWizard), 1);
    ASSERT_EQ(platform::HostRecordedBoxes().size(), 1u);
    const platform::RecordedBox& box = platform::HostRecordedBoxes()[0];
    EXPECT_EQ(box.text, "表n\r2行目");
    EXPECT_EQ(box.caption, "UPDATE");
    EXPECT_EQ(box.kind, platform::BoxKind::ErrorOk);
    EXPECT_EQ(box.owner, nullptr);
}

struct CaptionCase {
    std::map<std::string, std::string> keys;
    std::string caption;
};

class CaptionTest : public StartupTest, public testing::WithParamInterface<CaptionCase> {};

TEST_P(CaptionTest, TitlesTheWizard) {
    for (const auto& [key, value] : GetParam().keys) setupKeys[key] = value;
    RunUpdater();
    EXPECT_EQ(platform::HostWindowTitle(platform::HostLastDialog()), GetParam().caption);
}

INSTANTIATE_TEST_SUITE_P(Captions, CaptionTest,
                         testing::Values(CaptionCase{{}, Caption},
                                         CaptionCase{{{"UpdaterTitle", "デモ 修正版 %s"}}, "デモ 修正版 %s"},
                                         CaptionCase{{{"UpdaterVersion", ""}}, "デモゲーム アップデータ "}));

// The game runs under its SETUP.INI title or under GameTitleA.
class RunningGameTest : public StartupTest, public testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        setupKeys["GameTitleA"] = "Demo Game";
        arrange = [this] { game = platform::HostOpenWindow("DemoClass", GetParam()); };
    }
    std::string Question() const {
        return std::string("「") + GetParam() +
               "」が実行中です。アップデートを続行する場合はゲームを終了してから [OK] を、"
               "アップデートを中止する場合は [キャンセル] を押して下さい";
    }
    Window game = nullptr;
};

TEST_P(RunningGameTest, OkChecksAgainUntilTheGameIsClosed) {
    platform::HostScriptAnswer(BoxAnswer::Ok);
    platform::HostScriptAnswer(BoxAnswer::Ok, [this] { platform::HostCloseWindow(game); });
    EXPECT_EQ(RunUpdater(ThroughTheWizard), 1);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Question(), Question()}));
    const platform::RecordedBox& box = platform::HostRecordedBoxes()[0];
    EXPECT_EQ(box.kind, platform::BoxKind::OkCancel);
    EXPECT_EQ(box.caption, Caption);
    EXPECT_EQ(box.owner, nullptr);
}

TEST_P(RunningGameTest, CancelEndsAndBringsTheGameToTheFront) {
    platform::HostScriptAnswer(BoxAnswer::Cancel);
    EXPECT_EQ(RunUpdater(ThroughTheWizard), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Question()});
    EXPECT_TRUE(platform::HostWindowRaised(game));
    EXPECT_EQ(platform::HostLastDialog(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Titles, RunningGameTest, testing::Values("デモゲーム", "Demo Game"));

TEST_F(StartupTest, TheGameWindowIsSearchedWithSetupIniClass) {
    arrange = [] { platform::HostOpenWindow("UpdClass", "デモゲーム"); };
    EXPECT_EQ(RunUpdater(ThroughTheWizard), 1);
    EXPECT_TRUE(platform::HostRecordedBoxes().empty());
}

// Once UPDATE.INI is out, C: runs short of the 500 bytes the update needs.
void ShortOfSpace(Window) { platform::HostSetFreeSpace('C', 100, 1000, 100); }

// Cancel after this many clicks on Next.
class WizardCancelTest : public StartupTest, public testing::WithParamInterface<int> {};

TEST_P(WizardCancelTest, ReportsTheAbortWithoutOwner) {
    updateKeys = "RequiredDiskSpace=500\r\nUpdateFile00=README.TXT\r\n";
    std::vector<Step> steps = {ShortOfSpace};
    steps.insert(steps.end(), static_cast<std::size_t>(GetParam()), Click(updater::IdNext));
    steps.push_back(Click(updater::IdCancel));
    EXPECT_EQ(RunUpdater(steps), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Aborted});
    EXPECT_EQ(platform::HostRecordedBoxes()[0].owner, nullptr);
    EXPECT_EQ(platform::HostRecordedBoxes()[0].caption, Caption);
}

INSTANTIATE_TEST_SUITE_P(Pages, WizardCancelTest, testing::Values(0, 1, 2));

TEST_F(StartupTest, AFailedUpdateIsReportedAsAborted) {
    updateKeys = "UpdateFile00=MISSING.DLL\r\n";
    EXPECT_EQ(RunUpdater(ThroughTheWizard), 0);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"Can't Find File in Resource !!", "ファイルの書き込みに失敗しました", Aborted}));
}

TEST_F(StartupTest, RunningOutOfMemoryInTheWizardIsReportedAsAborted) {
    EXPECT_EQ(RunUpdater({Click(updater::IdNext), [](Window) { throw std::bad_alloc(); }}), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Aborted});
    // The wizard is gone: a second updater would not find it and stop.
    EXPECT_EQ(platform::FindDialogWindow(Caption), nullptr);
}

TEST_F(StartupTest, ADiskShortfallThenBackAndNext) {
    updateKeys = "RequiredDiskSpace=500\r\nUpdateFile00=README.TXT\r\n";
    EXPECT_EQ(RunUpdater({ShortOfSpace, Click(updater::IdNext), Click(updater::IdNext), Click(updater::IdBack),
                          [](Window) { platform::HostSetFreeSpace('C', 5000, 10000, 5000); },
                          Click(updater::IdNext), Click(updater::IdNext)}),
              1);
    EXPECT_EQ(platform::HostReadFile("C:\\GAME\\README.TXT"), "new readme");
}

TEST_F(StartupTest, TwoRunsDoNotShareUpdateIni) {
    std::string firstIni;
    int secondExit = -1;
    const auto startSecondRun = [&](Window first) {
        firstIni = state.updateIniPath.data();
        // The second updater is another process: it has its own state.
        updater::UpdateState firstState = std::move(state);
        const auto firstSetup = std::make_unique<config::SetupInfo>(config::setupInfo);
        updater::ResetUpdateState();
        config::ResetSetupInfo();
        secondExit = updater::WinMain(nullptr);
        state = std::move(firstState);
        config::setupInfo = *firstSetup;
        EXPECT_TRUE(platform::HostWindowRaised(first));
        EXPECT_TRUE(platform::HostReadFile(firstIni.c_str()).has_value());
    };
    EXPECT_EQ(RunUpdater({startSecondRun, Click(updater::IdNext), Click(updater::IdNext), Click(updater::IdNext)}),
              1);
    EXPECT_EQ(secondExit, 0);
    EXPECT_EQ(platform::HostReadFile("C:\\GAME\\README.TXT"), "new readme");
    EXPECT_NE(firstIni.find("C:\\TEMP\\UPD"), std::string::npos);
    EXPECT_NE(firstIni.find("\\UPDATE.INI"), std::string::npos);
}

// A fault at every file creation and allocation point in turn: the run
// ends with a message or completes, never leaves UPDATE.INI behind, and
// never leaves a file half written.
class FaultSweepTest : public StartupTest, public testing::WithParamInterface<platform::FaultKind> {};

TEST_P(FaultSweepTest, EveryFailurePointEndsCleanly) {
    // Every kind of item, so that every kind of file operation happens.
    updateKeys = "UpdateFile00=README.TXT\r\nUpdateFile01=u,README.TXT\r\nUpdateFile02=d,README.TXT\r\n";
    for (int countdown = 1; countdown < 200; ++countdown) {
        SCOPED_TRACE(countdown);
        platform::HostReset(root().string());
        updater::ResetUpdateState();
        config::ResetSetupInfo();
        arrange = [countdown] { platform::HostPlanFault(GetParam(), countdown); };
        const int exitCode = RunUpdater(ThroughTheWizard);
        if (platform::HostFaultsFired(GetParam()) == 0) {
            EXPECT_GT(countdown, 1) << "the run has no failure point of this kind";
            EXPECT_EQ(exitCode, 1);
            return;
        }
        EXPECT_TRUE(exitCode == 0 || exitCode == 1);
        // Every file is the old one or the new one, never a part of either,
        // and no temporary file is left beside it.
        EXPECT_EQ(FolderContents(InstallFolder), (std::vector<std::string>{"README.TXT", "SETUP.INI"}));
        const auto installed = platform::HostReadFile("C:\\GAME\\README.TXT");
        EXPECT_TRUE(installed == "old readme" || installed == "new readme") << *installed;
        const std::vector<std::string> saved = FolderContents(DataFolder);
        EXPECT_TRUE(saved.empty() || saved == std::vector<std::string>{"README.TXT"});
        if (!saved.empty()) {
            EXPECT_EQ(platform::HostReadFile("C:\\SAVE\\README.TXT"), "new readme");
        }
        // A run that reports success has written everything.
        if (exitCode == 1) {
            EXPECT_EQ(installed, "new readme");
            EXPECT_EQ(saved, std::vector<std::string>{"README.TXT"});
        }
    }
    ADD_FAILURE() << "the sweep never ran out of failure points";
}

INSTANTIATE_TEST_SUITE_P(Kinds, FaultSweepTest,
                         testing::Values(platform::FaultKind::Create, platform::FaultKind::Write,
                                         platform::FaultKind::Flush,
                                         platform::FaultKind::Allocate, platform::FaultKind::Open,
                                         platform::FaultKind::MakeFolder, platform::FaultKind::Replace));

}  // namespace
