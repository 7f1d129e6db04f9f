#include <fcntl.h>
#include <unistd.h>

#include "platform/file_locks.h"

namespace Corvenmark {
namespace {

// Locks of the open file description (Linux) belong to this descriptor alone. A classic POSIX
// lock belongs to the process, and closing any descriptor of the file, as a library that opened
// it again by its name does, would release it.
#ifdef F_OFD_SETLK
const int kSetLock = F_OFD_SETLK;
#else
const int kSetLock = F_SETLK;
#endif

bool SetLock(intptr_t handle, short type, uint64_t offset, uint64_t length) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  return fcntl(static_cast<int>(handle), kSetLock, &lock) == 0;
}

}  // namespace

std::unique_ptr<FileLocks> FileLocks::Open(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::unique_ptr<FileLocks>(new FileLocks(fd));
}

FileLocks::~FileLocks() { close(static_cast<int>(handle_)); }

bool FileLocks::TryLockShared(uint64_t offset, uint64_t length) {
  return SetLock(handle_, F_RDLCK, offset, length);
}

void FileLocks::Unlock(uint64_t offset, uint64_t length) {
  SetLock(handle_, F_UNLCK, offset, length);
}

}  // namespace Corvenmark
