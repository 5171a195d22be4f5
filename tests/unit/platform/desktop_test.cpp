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
    const Window other = HostOpenWindow("#32770", "UPDATE");
    EXPECT_EQ(FindDialogWindow("UPDATE"), other);
    ShowAndRaise(other);
    EXPECT_TRUE(HostWindowRaised(other));
    HostCloseWindow(game);
    EXPECT_EQ(FindTopWindow("GameClass", "Game"), nullptr);
}

}  // namespace
