#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/held_file.h"

namespace Corvenmark {

PathKind KindOfPath(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return PathKind::kMissing;
  if (S_ISLNK(status.st_mode)) return PathKind::kLink;
  if (S_ISDIR(status.st_mode)) return PathKind::kDirectory;
  if (!S_ISREG(status.st_mode)) return PathKind::kOther;
  return status.st_nlink > 1 ? PathKind::kLink : PathKind::kRegular;
}

std::string RealPathOf(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

HeldFile::HeldFile(const std::string& path) : path_(path) {
  // Opening some devices does something by itself (a tape rewinds), so the name is looked at
  // first; a pipe put there meanwhile does not block the open, and the handle is checked again.
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return;
  if (!S_ISREG(status.st_mode)) {
    kind_ = Kind::kOther;
    return;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  handle_ = fd;
  if (fstat(fd, &status) != 0) return;
  kind_ = S_ISREG(status.st_mode) ? Kind::kRegular : Kind::kOther;
  device_ = status.st_dev;
  identity_ = status.st_ino;
}

HeldFile::~HeldFile() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

std::string HeldFile::FirstBytes(size_t count) const {
  std::string bytes(count, '\0');
  size_t done = 0;
  while (kind_ == Kind::kRegular && done < count) {
    const ssize_t read = pread(static_cast<int>(handle_), bytes.data() + done, count - done,
                               static_cast<off_t>(done));
    if (read <= 0) break;
    done += static_cast<size_t>(read);
  }
  bytes.resize(done);
  return bytes;
}

bool HeldFile::IsAt(const std::string& path) const {
  struct stat status;
  return kind_ == Kind::kRegular && stat(path.c_str(), &status) == 0 &&
         static_cast<uint64_t>(status.st_dev) == device_ &&
         static_cast<uint64_t>(status.st_ino) == identity_;
}

}  // namespace Corvenmark
