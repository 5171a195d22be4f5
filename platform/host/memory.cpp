// Heap blocks from calloc, with the allocation fault plan and a heap limit
// so tests can make an allocation fail.
#include "platform/memory.h"

#include <cerrno>
#include <cstdlib>

#include "platform/host/machine.h"

namespace platform {

HeapBlock::~HeapBlock() { std::free(data_); }

HeapBlock AllocateBlock(std::size_t size) {
    HeapBlock block;
    const std::size_t limit = host::TheMachine().allocationLimit;
    if (host::FaultFires(FaultKind::Allocate, ENOMEM) || (limit != 0 && size > limit)) return block;
    // calloc(0) may give null; a block of size 0 is still a valid block.
    block.data_ = static_cast<std::uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
    if (block.data_ != nullptr) block.size_ = size;
    return block;
}

}  // namespace platform
