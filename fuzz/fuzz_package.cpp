// Arbitrary bytes as a package image: the loader must refuse or accept it
// without reading outside it, and every entry of an accepted directory must
// restore or be reported damaged, never crash. The streaming reader must
// agree with the whole-buffer restore, byte for byte and in its verdict;
// the lookup by name must find each entry's data where the walk does; and
// updpack's listing must print any name and time stamp.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "package/entry.h"
#include "package/format.h"
#include "tools/updpack/package_files.h"

namespace {

// Compares the reader's pieces with `whole` (empty data: damaged, which the
// reader may find only after handing out the pieces before the damage).
bool StreamAgrees(std::span<const std::uint8_t> image, const package::PackageEntry& entry,
                  std::uint32_t offset, const package::EntryContent& whole) {
    package::EntryReader reader;
    package::RestoreFailure failure = reader.Open(image, entry, offset);
    std::size_t at = 0;
    while (failure == package::RestoreFailure::None) {
        const std::span<const std::uint8_t> piece = reader.Next(&failure);
        if (failure != package::RestoreFailure::None || piece.empty()) break;
        if (whole && (piece.size() > whole.bytes.size() - at ||
                      std::memcmp(piece.data(), whole.data() + at, piece.size()) != 0))
            return false;
        at += piece.size();
    }
    return whole ? failure == package::RestoreFailure::None && at == whole.bytes.size()
                 : failure == package::RestoreFailure::Damaged;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    const package::PackageDirectory directory = package::LoadPackageDirectory(image);
    if (!directory.block) return 0;
    std::uint32_t offset = package::HeaderSize;
    for (const package::PackageEntry& entry : directory.entries()) {
        package::RestoreFailure failure;
        const package::EntryContent content = package::RestoreEntry(image, entry, offset, &failure);
        if (content && content.bytes.size() != entry.size) __builtin_trap();
        if (!StreamAgrees(image, entry, offset, content)) __builtin_trap();
        // The first entry of this name (case-blind) is the one found.
        std::uint32_t found = 0;
        const package::PackageEntry* first = package::FindEntry(directory.entries(), entry.name, &found);
        if (first == nullptr || (first == &entry && found != offset)) __builtin_trap();
        (void)updpack::PrintableEntryName(entry.name);
        (void)updpack::IsoTimeFromFileTime(package::LastWriteTime(entry));
        offset += package::PaddedSize(entry.storedSize);
    }
    return 0;
}
