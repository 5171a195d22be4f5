#include "updater/wizard.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "updater/state.h"
#include "updater_fixture.h"

namespace {

using namespace updater_test;
using platform::HostClick;
using platform::HostControl;
using platform::Window;
using updater::state;

using Step = std::function<void(Window)>;

class WizardTest : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        PrepareUpdate({{"a.dll", "new a"}}, "UpdateFile00=a.dll\r\n");
    }

    // Runs the wizard with a scripted user; the dialog's result.
    std::intptr_t RunWizard(std::vector<Step> steps, int templateId = updater::TemplateWithoutAgreement) {
        platform::HostScriptDialog(std::move(steps));
        const std::intptr_t result = platform::RunModalDialog(nullptr, templateId, updater::WizardProc);
        dialog_ = platform::HostLastDialog();
        return result;
    }

    static Step Click(int id) {
        return [id](Window dialog) { EXPECT_TRUE(HostClick(dialog, id)) << "control " << id; };
    }

    // The controls of the dialog now running (or last run).
    static platform::ControlState Control(int id) { return HostControl(platform::HostLastDialog(), id).value(); }
    static std::string Text(int id) { return Control(id).text; }
    static bool Enabled(int id) { return Control(id).enabled; }
    static bool Visible(int id) { return Control(id).visible; }
    static bool Checked(int id) { return Control(id).checked; }

    Window dialog_ = nullptr;
};

TEST_F(WizardTest, IntroPageGreetsWithTheGameTitle) {
    EXPECT_EQ(RunWizard({}), platform::HostScriptExhausted);
    EXPECT_EQ(state.wizardWindow, dialog_);
    EXPECT_EQ(state.page, 0);
    EXPECT_EQ(platform::HostWindowTitle(dialog_), "デモゲーム アップデータ 1.01");
    EXPECT_EQ(Text(updater::IdInfo), "「デモゲーム」のアップデートを開始します");
    EXPECT_FALSE(Enabled(updater::IdBack));
    EXPECT_TRUE(Enabled(updater::IdNext));
    EXPECT_TRUE(Enabled(updater::IdCancel));
    EXPECT_FALSE(HostControl(dialog_, updater::IdAgreement).has_value());
}

TEST_F(WizardTest, AClickWhileAStepRunsStartsNoOther) {
    RunWizard({[](Window dialog) {
        // As a click would come through a step's message box, whose own
        // loop serves the dialog too.
        state.busy = 1;
        EXPECT_TRUE(HostClick(dialog, updater::IdNext));
        state.busy = 0;
    }});
    EXPECT_EQ(state.page, 0);
    EXPECT_EQ(Text(updater::IdInfo), "「デモゲーム」のアップデートを開始します");
}

TEST_F(WizardTest, IntroTextIsShownVerbatimAndCut) {
    const std::string text = "100% " + std::string(1100, 'x');
    state.introText = text.c_str();
    RunWizard({});
    EXPECT_EQ(Text(updater::IdInfo), text.substr(0, 1023));
}

TEST_F(WizardTest, NextWaitsForTheAgreement) {
    state.agreementText = "規約";
    RunWizard({[](Window dialog) {
                   // The page opens with 同意しない chosen.
                   EXPECT_FALSE(Checked(updater::IdAgree));
                   EXPECT_TRUE(Checked(updater::IdDisagree));
                   EXPECT_FALSE(HostClick(dialog, updater::IdNext));
               },
               Click(updater::IdAgree),
               [](Window) {
                   EXPECT_TRUE(Enabled(updater::IdNext));
                   EXPECT_TRUE(Checked(updater::IdAgree));
                   EXPECT_FALSE(Checked(updater::IdDisagree));
               },
               Click(updater::IdDisagree)},
              updater::TemplateWithAgreement);
    EXPECT_EQ(Text(updater::IdAgreement), "規約");
    EXPECT_FALSE(Enabled(updater::IdNext));
    EXPECT_FALSE(Checked(updater::IdAgree));
    EXPECT_TRUE(Checked(updater::IdDisagree));
    for (const int id : {updater::IdAgreement, updater::IdAgree, updater::IdDisagree}) {
        EXPECT_TRUE(Visible(id));
        EXPECT_TRUE(Enabled(id));
    }
}

TEST_F(WizardTest, AnEmptyAgreementStillNeedsConsent) {
    state.agreementText = "";
    RunWizard({}, updater::TemplateWithAgreement);
    EXPECT_EQ(Text(updater::IdAgreement), "");
    EXPECT_FALSE(Enabled(updater::IdNext));
}

TEST_F(WizardTest, GoesThroughConfirmationUpdateAndCompletion) {
    state.agreementText = "規約";
    const std::intptr_t result = RunWizard(
        {Click(updater::IdAgree), Click(updater::IdNext),
         [](Window) {
             EXPECT_EQ(Text(updater::IdInfo), "アップデートを実行します");
             EXPECT_FALSE(Enabled(updater::IdBack));
             EXPECT_TRUE(Enabled(updater::IdNext));
             EXPECT_TRUE(Enabled(updater::IdCancel));
             for (const int id : {updater::IdAgreement, updater::IdAgree, updater::IdDisagree}) {
                 EXPECT_FALSE(Visible(id));
             }
         },
         Click(updater::IdNext),
         [](Window) {
             EXPECT_EQ(Text(updater::IdInfo), "アップデートは完了しました");
             EXPECT_EQ(state.busy, 0);
         },
         Click(updater::IdNext)},
        updater::TemplateWithAgreement);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(state.page, 3);
    EXPECT_EQ(platform::HostReadFile("C:\\GAME\\a.dll"), "new a");
}

// Cancel after this many clicks on Next ends the dialog with -1.
class CancelTest : public WizardTest, public testing::WithParamInterface<int> {};

TEST_P(CancelTest, EndsTheDialog) {
    SetUpdateSection("RequiredDiskSpace=500\r\nUpdateFile00=a.dll\r\n");
    platform::HostSetFreeSpace('C', 100, 1000, 100);
    std::vector<Step> steps(static_cast<std::size_t>(GetParam()), Click(updater::IdNext));
    steps.push_back(Click(updater::IdCancel));
    EXPECT_EQ(RunWizard(steps), -1);
}

// Intro, confirmation, disk shortfall.
INSTANTIATE_TEST_SUITE_P(Pages, CancelTest, testing::Values(0, 1, 2));

// The close box, Escape and Enter send their command whether or not the
// button is enabled: Cancel once the update is done, Next before the
// agreement is accepted or at a disk shortfall.
TEST_F(WizardTest, CommandsOfDisabledButtonsChangeNothing) {
    auto sendDisabled = [](int id) {
        return [id](Window dialog) {
            ASSERT_FALSE(Enabled(id));
            const int page = state.page;
            platform::HostSendCommand(dialog, id, 0);
            EXPECT_FALSE(platform::HostDialogResult(dialog).has_value());
            EXPECT_EQ(state.page, page);
        };
    };
    state.agreementText = "規約";
    EXPECT_EQ(RunWizard({sendDisabled(updater::IdNext), Click(updater::IdAgree), Click(updater::IdNext),
                         Click(updater::IdNext), sendDisabled(updater::IdCancel), Click(updater::IdNext)},
                        updater::TemplateWithAgreement),
              0);
    EXPECT_EQ(platform::HostReadFile("C:\\GAME\\a.dll"), "new a");

    state.agreementText = nullptr;
    SetUpdateSection("RequiredDiskSpace=500\r\nUpdateFile00=a.dll\r\n");
    platform::HostSetFreeSpace('C', 100, 1000, 100);
    RunWizard({Click(updater::IdNext), Click(updater::IdNext), sendDisabled(updater::IdNext)});
    EXPECT_EQ(platform::HostDialogResult(dialog_), platform::HostScriptExhausted);
}

TEST_F(WizardTest, CommandsOtherThanClicksAreIgnored) {
    RunWizard({[](Window dialog) {
        platform::HostSendCommand(dialog, updater::IdCancel, 1);
        platform::HostSendCommand(dialog, updater::IdNext, 0x300);
        platform::HostSendCommand(dialog, 9999, 0);
    }});
    EXPECT_EQ(platform::HostDialogResult(dialog_), platform::HostScriptExhausted);
    EXPECT_EQ(state.page, 0);
}

TEST_F(WizardTest, ClicksWhileAStepRunsAreIgnoredAndTheCursorWaits) {
    SetUpdateSection("CopyFile00=1:movie\r\n");
    platform::HostAddCdromDrive('E', "");
    bool cursorAnswered = false;
    platform::HostScriptAnswer(platform::BoxAnswer::Ok, [&] {
        const Window dialog = platform::HostLastDialog();
        platform::HostSendCommand(dialog, updater::IdCancel, 0);
        platform::HostSendCommand(dialog, updater::IdNext, 0);
        platform::HostSendCommand(dialog, updater::IdBack, 0);
        cursorAnswered = platform::HostSendSetCursor(dialog);
        EXPECT_EQ(platform::HostCursor(), platform::CursorShape::Wait);
        std::filesystem::create_directories(InsertDisc('E', 1) + "/movie");
    });
    RunWizard({Click(updater::IdNext), Click(updater::IdNext)});
    EXPECT_TRUE(cursorAnswered);
    EXPECT_EQ(platform::HostDialogResult(dialog_), platform::HostScriptExhausted);
    EXPECT_EQ(state.page, 2);
    EXPECT_EQ(Text(updater::IdInfo), "アップデートは完了しました");
    EXPECT_FALSE(platform::HostSendSetCursor(dialog_));
}

TEST_F(WizardTest, BackAfterAShortfallAndForwardAgain) {
    SetUpdateSection("RequiredDiskSpace=500\r\nUpdateFile00=a.dll\r\n");
    platform::HostSetFreeSpace('C', 100, 1000, 100);
    const std::intptr_t result =
        RunWizard({Click(updater::IdNext), Click(updater::IdNext),
                   // The focus never stays on a button that is disabled.
                   [](Window) { EXPECT_TRUE(Control(updater::IdBack).focused); },
                   Click(updater::IdBack),
                   [](Window) {
                       EXPECT_EQ(state.page, 1);
                       EXPECT_EQ(Text(updater::IdInfo), "アップデートを実行します");
                       EXPECT_FALSE(Enabled(updater::IdBack));
                       EXPECT_TRUE(Control(updater::IdNext).focused);
                       platform::HostSetFreeSpace('C', 500, 1000, 500);
                   },
                   Click(updater::IdNext), Click(updater::IdNext)});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(platform::HostReadFile("C:\\GAME\\a.dll"), "new a");
}

TEST_F(WizardTest, AFailedUpdateEndsTheDialog) {
    SetUpdateSection("UpdateFile00=missing.dll\r\n");
    EXPECT_EQ(RunWizard({Click(updater::IdNext), Click(updater::IdNext)}), -1);
    ASSERT_EQ(platform::HostRecordedBoxes().size(), 2u);
    EXPECT_EQ(platform::HostRecordedBoxes()[1].owner, dialog_);
}

}  // namespace
