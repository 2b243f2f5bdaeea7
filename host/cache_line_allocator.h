// An allocator that starts every buffer on a cache line. The host gives the block its port
// buffers and work vectors this way, as hosts commonly do: a vector store that straddles two
// lines costs twice one that does not, and where a buffer starts would otherwise depend on the
// heap's state, so that the same run could be fast or slow.
#pragma once

#include <cstddef>
#include <new>

namespace quenvarith::host {

inline constexpr std::size_t kCacheLineBytes = 64;

template <typename T>
struct CacheLineAllocator {
  using value_type = T;

  CacheLineAllocator() = default;
  template <typename U>
  explicit CacheLineAllocator(const CacheLineAllocator<U>& /*other*/) noexcept {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
      throw std::bad_array_new_length();
    }
    return static_cast<T*>(::operator new (count * sizeof(T), std::align_val_t{kCacheLineBytes}));
  }
  void deallocate(T* pointer, std::size_t /*count*/) noexcept {
    ::operator delete (pointer, std::align_val_t{kCacheLineBytes});
  }

  template <typename U>
  bool operator==(const CacheLineAllocator<U>& /*other*/) const noexcept {
    return true;
  }
};

}  // namespace quenvarith::host
