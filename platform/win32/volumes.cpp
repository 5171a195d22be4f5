// Free space and drive types through the Win32 volume API.
#include "platform/volumes.h"

#include "platform/win32/handles.h"

namespace platform {

// What the lookup found; the seam only hands out its address.
struct ExtendedFreeSpaceQueryObject {
    decltype(&::GetDiskFreeSpaceExA) function;
};

ExtendedFreeSpaceQuery LookUpExtendedFreeSpaceQuery() {
    // By its full system path: the updater never lets the DLL search pick
    // a file from the folder it was started in.
    char path[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    static constexpr char name[] = "\\kernel32.dll";
    if (length == 0 || length + sizeof name > MAX_PATH) return nullptr;
    ::lstrcpyA(path + length, name);
    const HMODULE kernel = ::LoadLibraryA(path);
    if (kernel == nullptr) return nullptr;
    // Typed lookup: the cast names the prototype the entry point must have.
    const auto function = reinterpret_cast<decltype(&::GetDiskFreeSpaceExA)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
    // kernel32 stays mapped in every process, so the entry point outlives
    // this reference.
    ::FreeLibrary(kernel);
    if (function == nullptr) return nullptr;
    static ExtendedFreeSpaceQueryObject query;
    query.function = function;
    return &query;
}

bool CallExtendedFreeSpaceQuery(ExtendedFreeSpaceQuery query, const char* path,
                                std::uint64_t* freeToCaller, std::uint64_t* totalBytes,
                                std::uint64_t* totalFree) {
    ULARGE_INTEGER available{}, total{}, free{};
    if (query == nullptr || !query->function(path, &available, &total, &free)) return false;
    *freeToCaller = available.QuadPart;
    *totalBytes = total.QuadPart;
    if (totalFree != nullptr) *totalFree = free.QuadPart;
    return true;
}

bool QueryClusterCounts(const char* path, ClusterCounts* counts) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!::GetDiskFreeSpaceA(path, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                             &totalClusters)) {
        return false;
    }
    *counts = ClusterCounts{sectorsPerCluster, bytesPerSector, freeClusters, totalClusters};
    return true;
}

bool IsCdromDrive(const char* drive) {
    // The call wants the root with its backslash; "E:" alone names the
    // drive's current folder.
    const char root[] = {drive[0], ':', '\\', '\0'};
    return ::GetDriveTypeA(root) == DRIVE_CDROM;
}

}  // namespace platform
