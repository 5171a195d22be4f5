#include "platform/desktop.h"

#include <gtest/gtest.h>

#include "platform/host/control.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;

class HostDesktop : public HostTest {};

TEST_F(HostDesktop, TopWindowsByClassAndTitle) {
    const Window game = HostOpenWindow("GameClass", "Game");
    EXPECT_EQ(FindTopWindow("gameclass", "Game"), game);
    // Titles match case-blind, as FindWindowA matches them, and in full.
    EXPECT_EQ(FindTopWindow("GameClass", "GAME"), game);
    EXPECT_EQ(FindTopWindow("GameClass", "Gam"), nullptr);
    // Class names too, by character: the second byte of ア ("\x83\x41") is
    // no letter to fold onto that of ヂ ("\x83\x61").
    const Window japanese = HostOpenWindow("ア", "Game");
    EXPECT_EQ(FindTopWindow("ア", nullptr), japanese);
    EXPECT_EQ(FindTopWindow("ヂ", nullptr), nullptr);
    HostCloseWindow(japanese);
    const Window other = HostOpenWindow("#32770", "UPDATE");
    EXPECT_EQ(FindDialogWindow("UPDATE"), other);
    ShowAndRaise(other);
    EXPECT_TRUE(HostWindowRaised(other));
    HostCloseWindow(game);
    EXPECT_EQ(FindTopWindow("GameClass", "Game"), nullptr);
}

}  // namespace
