// The simulated Windows shows the wizard's templates as the resource file
// declares them, and the updater's control ids are the resource file's: the
// three are kept by hand, and this test keeps them together.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <string>

#include "platform/host/control.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "support/host_fixture.h"
#include "updater/state.h"

namespace {

// Template id to its controls (id to text, cp932), read from updater.rc.
using Controls = std::map<int, std::string>;
std::map<int, Controls> ResourceTemplates() {
    std::ifstream rc(UPDATER_SOURCE_DIR "/resources/updater.rc");
    EXPECT_TRUE(rc) << "resources/updater.rc";
    std::map<int, Controls> templates;
    int current = -1;
    for (std::string line; std::getline(rc, line);) {
        // "100 DIALOG ..." opens a template; "    CONTROL "text", id, ..." is
        // one of its controls.
        if (line.find(" DIALOG ") != std::string::npos && std::isdigit(static_cast<unsigned char>(line[0]))) {
            current = std::stoi(line);
            continue;
        }
        const std::size_t control = line.find("CONTROL \"");
        if (current < 0 || control == std::string::npos) continue;
        const std::size_t textStart = control + 9;
        const std::size_t textEnd = line.find('"', textStart);
        if (textEnd == std::string::npos) {
            ADD_FAILURE() << line;
            continue;
        }
        std::string text;
        EXPECT_TRUE(platform::Cp932FromUtf8(line.substr(textStart, textEnd - textStart), &text)) << line;
        templates[current][std::stoi(line.substr(textEnd + 2))] = text;
    }
    return templates;
}

bool Idle(platform::Window, platform::DialogEvent, std::uintptr_t, std::intptr_t) { return false; }

class TemplatesTest : public HostTest {};

TEST_F(TemplatesTest, TheSimulationAndTheUpdaterUseTheResourceFilesTemplates) {
    const std::map<int, Controls> templates = ResourceTemplates();
    ASSERT_EQ(templates.size(), 2u);
    for (const int id : {updater::TemplateWithoutAgreement, updater::TemplateWithAgreement}) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(templates.count(id));
        const Controls& controls = templates.at(id);
        platform::HostScriptDialog({[&](platform::Window dialog) {
            EXPECT_EQ(platform::HostWindowTitle(dialog), "UPDATE");
            for (const auto& [control, text] : controls) {
                const auto shown = platform::HostControl(dialog, control);
                ASSERT_TRUE(shown) << control;
                EXPECT_EQ(shown->text, text) << control;
            }
            platform::EndModalDialog(dialog, 0);
        }});
        EXPECT_EQ(platform::RunModalDialog(nullptr, id, Idle), 0);
        for (const int control : {updater::IdNext, updater::IdCancel, updater::IdBack, updater::IdInfo}) {
            EXPECT_TRUE(controls.count(control)) << control;
        }
        const bool withAgreement = id == updater::TemplateWithAgreement;
        for (const int control : {updater::IdAgreement, updater::IdAgree, updater::IdDisagree}) {
            EXPECT_EQ(controls.count(control), withAgreement ? 1u : 0u) << control;
        }
        EXPECT_EQ(controls.size(), withAgreement ? 7u : 4u);
    }
}

}  // namespace
