#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include "platform/draining_buffer.h"
#include "platform/standard_streams.h"

namespace Corvenmark {
namespace {

// Writes to a descriptor of the program's own, which no library knows of.
class DescriptorBuffer : public DrainingBuffer {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) {}
  ~DescriptorBuffer() override {
    Drain();
    if (fd_ >= 0) close(fd_);
  }

 private:
  // A failed write leaves errno as write set it, for the error line that reports it.
  bool Drain() override {
    const char* next = pbase();
    const char* const end = pptr();
    Empty();
    while (next < end) {
      const ssize_t written = write(fd_, next, static_cast<size_t>(end - next));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      next += written;
    }
    return true;
  }

  int fd_;
};

bool gStreamsOwned = false;

}  // namespace

struct StandardStreams::Own {
  DescriptorBuffer out{fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3)};
  DescriptorBuffer err{fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3)};
  std::streambuf* originalOut = std::cout.rdbuf(&out);
  std::streambuf* originalErr = std::cerr.rdbuf(&err);
};

// Made by default initialisation, not make_unique's value initialisation: that would zero the
// buffers' 128 KiB first, a page fault for every 4 KiB of them at each start.
StandardStreams::StandardStreams() : own_(new Own) { gStreamsOwned = true; }

StandardStreams::~StandardStreams() {
  std::cout.flush();
  std::cerr.flush();
  std::cout.rdbuf(own_->originalOut);
  std::cerr.rdbuf(own_->originalErr);
  gStreamsOwned = false;
}

void DivertStandardDescriptors() {
  static bool diverted = false;
  if (!gStreamsOwned || diverted) return;
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) return;
  dup2(null, STDOUT_FILENO);
  dup2(null, STDERR_FILENO);
  close(null);
  diverted = true;
}

}  // namespace Corvenmark
