#ifndef CORVENMARK_LARGE_BUFFER_H_
#define CORVENMARK_LARGE_BUFFER_H_

#include <cstddef>

namespace Corvenmark {

/// Buffers of this many bytes or more are worth the large-buffer treatment below.
constexpr size_t kLargeBufferBytes = size_t{1} << 21;

/// Tells the operating system that a buffer is about to be filled from start to end, so that
/// it may back it with large pages: hundreds of megabytes then cost a few hundred page faults
/// instead of tens of thousands. Only advice; a platform may ignore it.
void AdviseLargeBuffer(void* data, size_t bytes);

/// Allocates at least `bytes` for a buffer that will be filled from start to end, advised as
/// above and, where that helps, aligned for large pages. Null when memory is exhausted.
/// Release it with FreeLargeBuffer.
void* AllocateLargeBuffer(size_t bytes);
void FreeLargeBuffer(void* data);

}  // namespace Corvenmark

#endif  // CORVENMARK_LARGE_BUFFER_H_
