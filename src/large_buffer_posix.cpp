#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "large_buffer.h"

namespace Corvenmark {

void AdviseLargeBuffer(void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
  // Only the whole large pages inside the buffer can be advised.
  const uintptr_t start =
      (reinterpret_cast<uintptr_t>(data) + kLargeBufferBytes - 1) & ~(kLargeBufferBytes - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLargeBufferBytes - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

void* AllocateLargeBuffer(size_t bytes) {
  const size_t rounded = (bytes + kLargeBufferBytes - 1) & ~(kLargeBufferBytes - 1);
  void* data = std::aligned_alloc(kLargeBufferBytes, rounded);
  if (data != nullptr) AdviseLargeBuffer(data, rounded);
  return data;
}

void FreeLargeBuffer(void* data) { std::free(data); }

}  // namespace Corvenmark
