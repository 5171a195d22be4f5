// Heap blocks from the global heap.
#include "platform/memory.h"

#include "platform/win32/handles.h"

namespace platform {

HeapBlock::~HeapBlock() {
    if (data_ != nullptr) ::GlobalFree(data_);
}

HeapBlock AllocateBlock(std::size_t size) {
    HeapBlock block;
    // A size-0 request still yields a block of its own.
    block.data_ = static_cast<std::uint8_t*>(::GlobalAlloc(GPTR, size == 0 ? 1 : size));
    if (block.data_ != nullptr) block.size_ = size;
    return block;
}

}  // namespace platform
