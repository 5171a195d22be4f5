// Volumes: free space and drive types.
#pragma once

#include <cstdint>

namespace platform {

// The extended free-space query, looked up at run time because the oldest
// systems lack it. Opaque: only CallExtendedFreeSpaceQuery may use it.
struct ExtendedFreeSpaceQueryObject;
using ExtendedFreeSpaceQuery = const ExtendedFreeSpaceQueryObject*;

// Loads the system library from the system folder, looks the query up, releases the
// library again. Null when the library or the function can't be found.
ExtendedFreeSpaceQuery LookUpExtendedFreeSpaceQuery();

// Free bytes the caller may use, size of the volume, all free bytes.
// `totalFree` may be null. False when the query fails.
bool CallExtendedFreeSpaceQuery(ExtendedFreeSpaceQuery query, const char* path,
                                std::uint64_t* freeToCaller, std::uint64_t* totalBytes,
                                std::uint64_t* totalFree);

// The old cluster-based query, of the volume whose root (with its
// backslash: "C:\") `path` names. False when it fails.
struct ClusterCounts {
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t bytesPerSector = 0;
    std::uint32_t freeClusters = 0;
    std::uint32_t totalClusters = 0;
};
bool QueryClusterCounts(const char* path, ClusterCounts* counts);

// True when `drive` ("E:") is a CD-ROM drive.
bool IsCdromDrive(const char* drive);

}  // namespace platform
