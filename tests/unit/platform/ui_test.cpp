#include "platform/ui.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/host/control.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;

class HostDialog : public HostTest {};

// A small procedure: Next ends with 7 unless a box asked first; Cancel asks
// in a box and ends with the box's answer.
std::vector<std::string> events;
bool TestProcedure(Window dialog, DialogEvent event, std::uintptr_t wParam, std::intptr_t) {
    switch (event) {
    case DialogEvent::Init:
        events.push_back("init");
        SetWindowTitle(dialog, "My Caption");
        EnableItem(dialog, 1, false);
        SetItemText(dialog, 1000, "agreement");  // lacking in template 100: ignored
        return true;
    case DialogEvent::Command:
        events.push_back("command " + std::to_string(wParam));
        if ((wParam & 0xFFFF) == 1003) EnableItem(dialog, 1, true);
        if ((wParam & 0xFFFF) == 1) EndModalDialog(dialog, 7);
        if ((wParam & 0xFFFF) == 2) {
            const BoxAnswer answer = ShowBox(dialog, "Quit?", "My Caption", BoxKind::OkCancel);
            EndModalDialog(dialog, answer == BoxAnswer::Ok ? 2 : 3);
        }
        return true;
    case DialogEvent::SetCursor:
        ShowWaitCursor();
        return true;
    default:
        return false;
    }
}

TEST_F(HostDialog, ScriptedUserDrivesTheProcedure) {
    events.clear();
    HostScriptDialog({
        [](Window dialog) { EXPECT_FALSE(HostClick(dialog, 1)); },  // disabled
        [](Window dialog) { EXPECT_TRUE(HostClick(dialog, 1003)); },
        [](Window dialog) { EXPECT_TRUE(HostSendSetCursor(dialog)); },
        [](Window dialog) { EXPECT_TRUE(HostClick(dialog, 1)); },
        [](Window) { ADD_FAILURE() << "ran after the end"; },
    });
    EXPECT_EQ(RunModalDialog(nullptr, 101, TestProcedure), 7);
    EXPECT_EQ(events, (std::vector<std::string>{"init", "command 1003", "command 1"}));
    const Window dialog = HostLastDialog();
    EXPECT_EQ(HostDialogTemplate(dialog), 101);
    EXPECT_EQ(HostDialogResult(dialog), 7);
    EXPECT_EQ(HostWindowTitle(dialog), "My Caption");
    EXPECT_EQ(HostControl(dialog, 1000)->text, "agreement");
    EXPECT_EQ(HostCursor(), CursorShape::Wait);
    EXPECT_EQ(FindDialogWindow("My Caption"), nullptr);  // gone after the end
}

TEST_F(HostDialog, TemplateWithoutAgreementLacksItsControls) {
    events.clear();
    EXPECT_EQ(RunModalDialog(nullptr, 100, TestProcedure), HostScriptExhausted);
    const Window dialog = HostLastDialog();
    EXPECT_FALSE(HostControl(dialog, 1000));
    EXPECT_EQ(HostControl(dialog, 2)->text, "中止");
    EXPECT_FALSE(HostControl(dialog, 1)->enabled);
    EXPECT_EQ(RunModalDialog(nullptr, 102, TestProcedure), -1);
}

TEST_F(HostDialog, ClicksDuringABoxReachTheDialogBehindIt) {
    events.clear();
    HostScriptAnswer(BoxAnswer::Cancel, [] {
        const Window dialog = HostLastDialog();
        // While the box is up both it and the dialog are found by title.
        EXPECT_EQ(FindDialogWindow("My Caption") != nullptr, true);
        EXPECT_TRUE(HostClick(dialog, 1003));
    });
    HostScriptDialog({[](Window dialog) { HostClick(dialog, 2); }});
    EXPECT_EQ(RunModalDialog(nullptr, 101, TestProcedure), 3);
    EXPECT_EQ(events, (std::vector<std::string>{"init", "command 2", "command 1003"}));
    ASSERT_EQ(HostRecordedBoxes().size(), 1u);
    EXPECT_EQ(HostRecordedBoxes()[0].text, "Quit?");
    EXPECT_EQ(HostRecordedBoxes()[0].owner, HostLastDialog());
    EXPECT_EQ(HostRecordedBoxes()[0].kind, BoxKind::OkCancel);
}

TEST_F(HostDialog, RadioAndFocus) {
    HostScriptDialog({[](Window dialog) {
        CheckRadio(dialog, 1002, 1003, 1003);
        FocusItem(dialog, 4);
        HostSendCommand(dialog, 1, 0);
    }});
    EXPECT_EQ(RunModalDialog(nullptr, 101, TestProcedure), 7);
    const Window dialog = HostLastDialog();
    EXPECT_TRUE(HostControl(dialog, 1003)->checked);
    EXPECT_FALSE(HostControl(dialog, 1002)->checked);
    EXPECT_TRUE(HostControl(dialog, 4)->focused);
    EXPECT_FALSE(HostControl(dialog, 1)->focused);
}

}  // namespace
