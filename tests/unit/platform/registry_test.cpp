#include "platform/registry.h"

#include <gtest/gtest.h>

#include <array>

#include "platform/host/control.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;

class HostRegistry : public HostTest {};

TEST_F(HostRegistry, NamesAreCaseBlindAndStringsKeepTheirTerminator) {
    HostSetRegistryString("Software\\Maker\\Game", "InstPath", "C:\\GAME");
    const RegistryKey key = OpenUserKey("SOFTWARE\\maker\\GAME");
    ASSERT_TRUE(key);
    std::array<std::uint8_t, 16> buffer{};
    std::uint32_t size = 0;
    ASSERT_TRUE(ReadKeyValue(key.get(), "instpath", buffer, &size));
    EXPECT_EQ(size, 8u);  // seven characters and the terminator
    EXPECT_EQ(buffer[7], 0);
    EXPECT_FALSE(ReadKeyValue(key.get(), "DataPath", buffer, &size));
    EXPECT_FALSE(OpenUserKey("Software\\Maker\\Other"));
}

// Company and game names are mostly Japanese: a second byte that is an ASCII
// letter stays as it is, while full-width letters fold.
TEST_F(HostRegistry, DoubleByteNamesFoldByWholeCharacters) {
    HostSetRegistryString("Software\\\x8D\x48\\\x82\x60", "InstPath", "C:\\GAME");  // 工, Ａ
    EXPECT_TRUE(OpenUserKey("software\\\x8D\x48\\\x82\x81"));                 // 工, ａ
    EXPECT_FALSE(OpenUserKey("Software\\\x8D\x68\\\x82\x60"));                // 紘, Ａ
}

TEST_F(HostRegistry, ValueLargerThanTheBufferIsMissing) {
    HostSetRegistryDword("Software\\Maker\\Game", "InstMode", 2);
    const RegistryKey key = OpenUserKey("Software\\Maker\\Game");
    std::array<std::uint8_t, 3> small{};
    std::uint32_t size = 0;
    EXPECT_FALSE(ReadKeyValue(key.get(), "InstMode", small, &size));
    std::array<std::uint8_t, 4> fits{};
    ASSERT_TRUE(ReadKeyValue(key.get(), "InstMode", fits, &size));
    EXPECT_EQ(fits[0], 2);
    HostDeclareRegistryKey("Software\\Empty");
    EXPECT_TRUE(OpenUserKey("software\\empty"));
}

}  // namespace
