// Volumes of the simulated machine: free space and drive types as tests set
// them.
#include "platform/volumes.h"

#include <cstring>

#include "platform/host/machine.h"

namespace platform {

// The looked-up query: its identity is all the host needs.
struct ExtendedFreeSpaceQueryObject {};

namespace {

using host::TheMachine;

const ExtendedFreeSpaceQueryObject hostExtendedQuery{};

// The drive letter of a path ("C:\..." or "C:"), or 0.
char DriveOf(const char* path) {
    if (path == nullptr || path[0] == '\0' || path[1] != ':') return 0;
    return host::UpperAscii(path[0]);
}

}  // namespace

ExtendedFreeSpaceQuery LookUpExtendedFreeSpaceQuery() {
    ++TheMachine().extendedLookups;
    return TheMachine().extendedQuery == ExtendedQuery::Unavailable ? nullptr : &hostExtendedQuery;
}

bool CallExtendedFreeSpaceQuery(ExtendedFreeSpaceQuery query, const char* path,
                                std::uint64_t* freeToCaller, std::uint64_t* totalBytes,
                                std::uint64_t* totalFree) {
    TheMachine().extendedQueryPath = path;
    if (query != &hostExtendedQuery || TheMachine().extendedQuery == ExtendedQuery::Failing) {
        return false;
    }
    const auto space = TheMachine().freeSpace.find(DriveOf(path));
    if (space == TheMachine().freeSpace.end()) return false;
    *freeToCaller = space->second.freeToCaller;
    *totalBytes = space->second.totalBytes;
    if (totalFree != nullptr) *totalFree = space->second.totalFree;
    return true;
}

bool QueryClusterCounts(const char* path, ClusterCounts* counts) {
    // As on Windows, a drive must be given as its root: "C:\\", not "C:".
    if (std::strlen(path) == 2 && path[1] == ':') return false;
    const auto found = TheMachine().clusterCounts.find(DriveOf(path));
    if (found == TheMachine().clusterCounts.end()) return false;
    *counts = found->second;
    return true;
}

bool IsCdromDrive(const char* drive) {
    return TheMachine().cdromDrives.count(DriveOf(drive)) != 0;
}

void HostSetExtendedQuery(ExtendedQuery mode) { TheMachine().extendedQuery = mode; }

void HostSetFreeSpace(char drive, std::uint64_t freeToCaller, std::uint64_t totalBytes,
                      std::uint64_t totalFree) {
    TheMachine().freeSpace[host::UpperAscii(drive)] = {freeToCaller, totalBytes, totalFree};
}

void HostSetClusterCounts(char drive, std::uint32_t sectorsPerCluster,
                          std::uint32_t bytesPerSector, std::uint32_t freeClusters,
                          std::uint32_t totalClusters) {
    TheMachine().clusterCounts[host::UpperAscii(drive)] = {sectorsPerCluster, bytesPerSector,
                                                           freeClusters, totalClusters};
}

int HostExtendedQueryLookups() { return TheMachine().extendedLookups; }

std::string HostExtendedQueryPath() { return TheMachine().extendedQueryPath; }

}  // namespace platform
