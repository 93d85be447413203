// SecretBytes: bytes that hold a secret (private-key material, a key blob),
// as a type of their own across the platform interface. The storage is
// wiped whenever it is given back: when the object is destroyed or
// reassigned, and when growing moves the bytes to a larger block. Move-only,
// so no stray copy is made by accident.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// wipeMemory: zeros `size` bytes at `data`. The stores go through a volatile
// pointer and are followed by a compiler barrier, so they are not dropped as
// dead stores before the memory is freed.
inline void wipeMemory(void* data, std::size_t size) noexcept {
    volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

// WipingAllocator: std::allocator that wipes each block before freeing it,
// so that whatever a container does with its storage (grow, shrink, swap,
// destroy) no freed block keeps the secret.
template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return std::allocator<T>().allocate(count); }
    void deallocate(T* block, std::size_t count) noexcept {
        wipeMemory(block, count * sizeof(T));
        std::allocator<T>().deallocate(block, count);
    }
    template <typename U>
    friend bool operator==(const WipingAllocator&, const WipingAllocator<U>&) noexcept {
        return true;
    }
};

class SecretBytes {
public:
    SecretBytes() = default;
    // SecretBytes(Bytes&&): takes the bytes and leaves the vector they came
    // in zeroed, so that its storage frees no copy of them.
    explicit SecretBytes(Bytes&& bytes) : bytes_(bytes.begin(), bytes.end()) {
        wipeMemory(bytes.data(), bytes.size());
    }
    // copyOf: a copy of `bytes`; the caller wipes the original if it must.
    static SecretBytes copyOf(ByteView bytes) {
        SecretBytes secret;
        secret.append(bytes);
        return secret;
    }
    SecretBytes(SecretBytes&& other) noexcept = default;
    // The storage this object held is wiped before it takes `other`'s.
    SecretBytes& operator=(SecretBytes&& other) noexcept = default;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    ~SecretBytes() = default;

    ByteView view() const noexcept { return {bytes_.data(), bytes_.size()}; }
    std::size_t size() const noexcept { return bytes_.size(); }
    bool empty() const noexcept { return bytes_.empty(); }

    // append: `more` after the bytes held.
    void append(ByteView more) { bytes_.insert(bytes_.end(), more.begin(), more.end()); }
    // grow: `count` zero bytes after the bytes held, returned to be filled.
    std::span<std::uint8_t> grow(std::size_t count) {
        const std::size_t at = bytes_.size();
        bytes_.resize(at + count);
        return std::span(bytes_).subspan(at);
    }
    // reserve: room for `count` bytes in all, so that appends up to it do
    // not move the bytes.
    void reserve(std::size_t count) { bytes_.reserve(count); }
    // clear: wipes and frees the bytes.
    void clear() noexcept {
        std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>().swap(bytes_);
    }

private:
    std::vector<std::uint8_t, WipingAllocator<std::uint8_t>> bytes_;
};

}  // namespace pennaform::platform
