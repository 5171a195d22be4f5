#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/host/control.h"
#include "platform/memory.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;

class HostFaults : public HostTest {};

bool WriteSomething(std::uint32_t* moved, Status* status) {
    (void)RemoveFile("C:\\TEMP\\f.bin");
    FileHandle file = CreateNewForWrite("C:\\TEMP\\f.bin");
    const std::uint8_t data[10] = {};
    *status = WriteOnce(file.get(), data, moved);
    return status->ok;
}

TEST_F(HostFaults, CountdownFailsTheNthCallOnce) {
    HostPlanFault(FaultKind::Write, 2);
    std::uint32_t moved = 0;
    Status status;
    EXPECT_TRUE(WriteSomething(&moved, &status));
    EXPECT_FALSE(WriteSomething(&moved, &status));
    EXPECT_EQ(status.osError, 112u);  // the disk-full translation ran
    EXPECT_EQ(moved, 0u);
    EXPECT_TRUE(WriteSomething(&moved, &status));
    EXPECT_EQ(HostFaultsFired(FaultKind::Write), 1);
}

TEST_F(HostFaults, PersistentKeepsFailingUntilCleared) {
    HostPlanFault(FaultKind::Open, 1, true);
    HostWriteFile("C:\\TEMP\\a.txt", "a");
    EXPECT_FALSE(OpenForRead("C:\\TEMP\\a.txt"));
    Status status;
    EXPECT_FALSE(OpenForRead("C:\\TEMP\\a.txt", &status));
    EXPECT_EQ(status.osError, 5u);
    EXPECT_EQ(HostFaultsFired(FaultKind::Open), 2);
    HostClearFaults();
    EXPECT_TRUE(OpenForRead("C:\\TEMP\\a.txt"));
}

TEST_F(HostFaults, ShortWriteReportsSuccessWithHalf) {
    HostPlanFault(FaultKind::ShortWrite, 1);
    std::uint32_t moved = 0;
    Status status;
    EXPECT_TRUE(WriteSomething(&moved, &status));
    EXPECT_EQ(moved, 5u);
    EXPECT_EQ(HostReadFile("C:\\TEMP\\f.bin")->size(), 5u);
}

TEST_F(HostFaults, AllocationFailsByPlanOrLimit) {
    HostPlanFault(FaultKind::Allocate, 1);
    EXPECT_FALSE(AllocateBlock(16));
    const HeapBlock empty = AllocateBlock(0);
    EXPECT_TRUE(empty);  // size 0 is a real block
    HostLimitAllocation(100);
    EXPECT_TRUE(AllocateBlock(100));
    EXPECT_FALSE(AllocateBlock(101));
    const HeapBlock block = AllocateBlock(8);
    for (std::uint8_t byte : block.bytes()) EXPECT_EQ(byte, 0);
}

TEST_F(HostFaults, ResetForgetsPlans) {
    HostPlanFault(FaultKind::Remove, 1, true);
    HostReset(root().string());
    HostWriteFile("C:\\TEMP\\a.txt", "a");
    EXPECT_TRUE(RemoveFile("C:\\TEMP\\a.txt"));
    EXPECT_EQ(HostFaultsFired(FaultKind::Remove), 0);
}

}  // namespace
