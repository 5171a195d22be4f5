#include "platform/volumes.h"

#include <gtest/gtest.h>

#include "platform/host/control.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;

class HostVolumes : public HostTest {};

TEST_F(HostVolumes, ExtendedQueryModes) {
    HostSetFreeSpace('c', 5, 10, 6);
    std::uint64_t free = 0, total = 0, allFree = 0;
    const ExtendedFreeSpaceQuery query = LookUpExtendedFreeSpaceQuery();
    ASSERT_NE(query, nullptr);
    ASSERT_TRUE(CallExtendedFreeSpaceQuery(query, "C:\\GAME", &free, &total, &allFree));
    EXPECT_EQ(free, 5u);
    EXPECT_EQ(total, 10u);
    EXPECT_EQ(allFree, 6u);
    EXPECT_FALSE(CallExtendedFreeSpaceQuery(query, "D:\\", &free, &total, nullptr));

    HostSetExtendedQuery(ExtendedQuery::Failing);
    EXPECT_FALSE(CallExtendedFreeSpaceQuery(query, "C:\\", &free, &total, nullptr));
    HostSetExtendedQuery(ExtendedQuery::Unavailable);
    EXPECT_EQ(LookUpExtendedFreeSpaceQuery(), nullptr);
    EXPECT_EQ(HostExtendedQueryLookups(), 2);
}

TEST_F(HostVolumes, ClusterCountsOnlyWhenSet) {
    ClusterCounts counts;
    EXPECT_FALSE(QueryClusterCounts("C:\\", &counts));
    HostSetClusterCounts('C', 64, 512, 200000, 300000);
    EXPECT_FALSE(QueryClusterCounts("C:", &counts));  // a drive without its root
    ASSERT_TRUE(QueryClusterCounts("c:\\game", &counts));
    EXPECT_EQ(counts.freeClusters, 200000u);
}

TEST_F(HostVolumes, CdromDrives) {
    HostAddCdromDrive('e', "");
    EXPECT_TRUE(IsCdromDrive("E:"));
    EXPECT_FALSE(IsCdromDrive("C:"));
}

}  // namespace
