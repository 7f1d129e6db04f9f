#include <cstdlib>

#include "large_buffer.h"

namespace Corvenmark {

// Large pages need a privilege that ordinary users lack; default pages serve.
void AdviseLargeBuffer(void*, size_t) {}

void* AllocateLargeBuffer(size_t bytes) { return std::malloc(bytes); }

void FreeLargeBuffer(void* data) { std::free(data); }

}  // namespace Corvenmark
