// Heap blocks. The Windows build takes them from the global heap, as the
// rest of the program's blocks always were; the host build from calloc, with
// a fault plan so tests can make an allocation fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace platform {

// A zero-initialised heap block of a fixed size. Move-only; frees itself.
// An empty block (data() == nullptr) stands for a failed allocation.
class HeapBlock {
public:
    HeapBlock() = default;
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    HeapBlock(HeapBlock&& other) noexcept { swap(other); }
    HeapBlock& operator=(HeapBlock&& other) noexcept {
        HeapBlock(std::move(other)).swap(*this);
        return *this;
    }
    ~HeapBlock();

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }
    std::span<std::uint8_t> bytes() const { return {data_, size_}; }

    void swap(HeapBlock& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
    }

private:
    friend HeapBlock AllocateBlock(std::size_t size);
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// A new zeroed block of `size` bytes, or an empty block when the heap can't
// give it. A block of size 0 is a valid, non-empty block.
HeapBlock AllocateBlock(std::size_t size);

}  // namespace platform
