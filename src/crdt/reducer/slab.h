// Entries of one table at stable addresses, named by a 32-bit handle (their
// creation number). Storage comes in chunks that double up to 256 entries,
// so a small table stays small and a large one moves nothing as it grows.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace ww::crdt::reducer {

template <class T>
class Slab {
 public:
  static constexpr std::uint32_t kSmallChunks = 8;  // sizes 1, 2, 4, ..., 128
  static constexpr std::uint32_t kChunk = 256;      // then this many each
  static constexpr std::uint32_t kSmallTotal = (1u << kSmallChunks) - 1;

  Slab() = default;
  Slab(const Slab&) = delete;
  Slab& operator=(const Slab&) = delete;
  Slab(Slab&& other) noexcept : chunks_(std::move(other.chunks_)), size_(other.size_) { other.size_ = 0; }
  Slab& operator=(Slab&& other) noexcept {
    if (this != &other) {
      clear();
      chunks_ = std::move(other.chunks_);
      size_ = other.size_;
      other.size_ = 0;
    }
    return *this;
  }
  ~Slab() { clear(); }

  std::uint32_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  T& operator[](std::uint32_t h) {
    auto [c, off] = locate(h);
    return chunks_[c][off];
  }
  const T& operator[](std::uint32_t h) const {
    auto [c, off] = locate(h);
    return chunks_[c][off];
  }

  // The new entry's handle.
  std::uint32_t push(T value) {
    const std::uint32_t h = size_;
    auto [c, off] = locate(h);
    if (c == chunks_.size()) {
      const std::uint32_t n = c < kSmallChunks ? (1u << c) : kChunk;
      chunks_.push_back(static_cast<T*>(::operator new(sizeof(T) * n, std::align_val_t(alignof(T)))));
    }
    new (&chunks_[c][off]) T(std::move(value));
    ++size_;
    return h;
  }

  // Destroys the latest entry.
  void pop() {
    const std::uint32_t h = --size_;
    auto [c, off] = locate(h);
    chunks_[c][off].~T();
    if (off == 0) {
      ::operator delete(chunks_[c], std::align_val_t(alignof(T)));
      chunks_.pop_back();
    }
  }

  void clear() {
    while (size_ != 0) pop();
  }

 private:
  static std::pair<std::uint32_t, std::uint32_t> locate(std::uint32_t h) {
    if (h < kSmallTotal) {
      const std::uint32_t c = static_cast<std::uint32_t>(std::bit_width(h + 1)) - 1;
      return {c, h + 1 - (1u << c)};
    }
    const std::uint32_t rest = h - kSmallTotal;
    return {kSmallChunks + rest / kChunk, rest % kChunk};
  }

  std::vector<T*> chunks_;
  std::uint32_t size_ = 0;
};

}  // namespace ww::crdt::reducer
