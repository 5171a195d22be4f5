// Arbitrary bytes as the exe a publisher hands to `updpack`: the resource
// reader must refuse what it can't read, and whatever it stamps must read
// back with the package in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "tools/updpack/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> exe(data, size);
    std::string error;
    updpack::ListResources(exe, &error);
    updpack::FindPackageInImage(exe, &error);

    static const std::uint8_t package[] = {'F', 'A', '2', 0, 0, 0, 0, 0,
                                           16,  0,   0,   0, 0, 0, 0, 0};
    updpack::StampReport report;
    auto stamped = updpack::StampPackage(exe, package, &report, &error);
    // The stamping's own read-back keeps such an image from a publisher;
    // here it is the fault being looked for.
    if (!stamped && error.starts_with(updpack::StampedImageUnreadable)) std::abort();
    if (stamped) {
        auto found = updpack::FindPackageInImage(*stamped, &error);
        if (!found || found->size() != sizeof package) std::abort();
        if (!updpack::ListResources(*stamped, &error)) std::abort();
    }
    return 0;
}
