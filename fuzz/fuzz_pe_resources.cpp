// Arbitrary bytes as the exe a publisher hands to `updpack`: the resource
// reader must refuse what it can't read, and whatever it stamps must read
// back with the package in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "tools/test_images.h"
#include "tools/updpack/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> exe(data, size);
    std::string error;
    updpack::ListResources(exe, &error);
    updpack::FindPackageInImage(exe, &error);

    static const std::uint8_t package[] = {'F', 'A', '2', 0, 0, 0, 0, 0,
                                           16,  0,   0,   0, 0, 0, 0, 0};
    updpack::StampReport report;
    const auto stamped = updpack::StampPackage(exe, package, &report, &error);
    if (stamped) {
        // As written out: whatever is stamped must read back with the
        // package in it, and with a checksum the image agrees with.
        const std::vector<std::uint8_t> image = updpack::test_images::Joined(*stamped);
        auto found = updpack::FindPackageInImage(image, &error);
        if (!found || found->size() != sizeof package) std::abort();
        if (!updpack::ListResources(image, &error)) std::abort();
        // e_lfanew, then the signature, COFF header and the optional
        // header's first 64 bytes.
        std::uint32_t peOffset;
        std::memcpy(&peOffset, &image[60], 4);
        const std::size_t checksumAt = std::size_t{peOffset} + 4 + 20 + 64;
        std::uint32_t checksum;
        std::memcpy(&checksum, &image[checksumAt], 4);
        if (checksum != updpack::ComputePeChecksum(image, checksumAt)) std::abort();
    }
    return 0;
}
