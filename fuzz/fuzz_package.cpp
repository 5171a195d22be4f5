// Arbitrary bytes as a package image: the loader must refuse or accept it
// without reading outside it, and every entry of an accepted directory must
// restore or be reported damaged, never crash.
#include <cstddef>
#include <cstdint>
#include <span>

#include "package/entry.h"
#include "package/format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    const package::PackageDirectory directory = package::LoadPackageDirectory(image);
    if (!directory.block) return 0;
    std::uint32_t offset = package::HeaderSize;
    for (const package::PackageEntry& entry : directory.entries()) {
        package::RestoreFailure failure;
        const package::EntryContent content = package::RestoreEntry(image, entry, offset, &failure);
        if (content && content.bytes.size() != entry.size) __builtin_trap();
        offset += package::PaddedSize(entry.storedSize);
    }
    return 0;
}
