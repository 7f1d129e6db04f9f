#ifndef CORVENMARK_POD_BUFFER_H_
#define CORVENMARK_POD_BUFFER_H_

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "large_buffer.h"

namespace Corvenmark {

/// A growable array of plain values. Once it is large it lives in large-page memory, so that
/// filling a result of hundreds of megabytes does not pay a page fault every four kilobytes.
template <class T>
class PodBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "PodBuffer holds plain values only");

 public:
  PodBuffer() = default;
  PodBuffer(const PodBuffer& other) { Append(other.data_, other.size_); }
  PodBuffer(PodBuffer&& other) noexcept { Swap(other); }
  PodBuffer& operator=(PodBuffer other) noexcept {
    Swap(other);
    return *this;
  }
  ~PodBuffer() { Release(data_, capacity_); }

  void Append(const T* values, size_t count) {
    if (size_ + count > capacity_) Grow(size_ + count);
    if (count > 0) std::memcpy(data_ + size_, values, count * sizeof(T));
    size_ += count;
  }
  void Append(T value) { Append(&value, 1); }

  const T* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const T& operator[](size_t index) const { return data_[index]; }
  T& back() { return data_[size_ - 1]; }

  bool operator==(const PodBuffer& other) const {
    return size_ == other.size_ &&
           (size_ == 0 || std::memcmp(data_, other.data_, size_ * sizeof(T)) == 0);
  }

 private:
  static bool IsLarge(size_t capacity) { return capacity * sizeof(T) >= kLargeBufferBytes; }

  static void Release(T* data, size_t capacity) {
    if (IsLarge(capacity)) {
      FreeLargeBuffer(data);
    } else {
      std::free(data);
    }
  }

  void Grow(size_t wanted) {
    const size_t capacity = std::max(wanted, capacity_ * 2 + 64);
    void* grown = nullptr;
    if (!IsLarge(capacity)) {
      grown = std::realloc(data_, capacity * sizeof(T));
    } else {
      grown = AllocateLargeBuffer(capacity * sizeof(T));
      if (grown != nullptr && size_ > 0) std::memcpy(grown, data_, size_ * sizeof(T));
      if (grown != nullptr) Release(data_, capacity_);
    }
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<T*>(grown);
    capacity_ = capacity;
  }

  void Swap(PodBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_POD_BUFFER_H_
