#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_system.h"

namespace Corvenmark {
namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Failure(int error, const std::string& path) {
  return (error == EEXIST ? "file already exists" : strerror(error)) + (": " + path);
}

// Renames without ever replacing; for file systems that have no hard links.
bool RenameWithoutReplacing(const std::string& from, const std::string& to, int& error) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  error = errno;
#else
  (void)from;
  (void)to;
#endif
  return false;
}

}  // namespace

bool CreateTemporarySibling(const std::string& finalPath, std::string& temporaryPath,
                            std::string& errorMessage) {
  std::string name = DirectoryOf(finalPath) + "/.corvenmark-new-XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    errorMessage = Failure(errno, finalPath);
    return false;
  }
  // mkstemp keeps the file to its owner; the finished file gets the permissions any new file
  // of the user's would.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  temporaryPath = name;
  return true;
}

bool PublishNewFile(const std::string& temporaryPath, const std::string& finalPath,
                    std::string& errorMessage) {
  // A hard link fails when the name is taken, and the rename fallback is told not to replace.
  int error = 0;
  bool published = link(temporaryPath.c_str(), finalPath.c_str()) == 0;
  if (!published) {
    error = errno;
    if (error != EEXIST) published = RenameWithoutReplacing(temporaryPath, finalPath, error);
  }
  unlink(temporaryPath.c_str());
  if (!published) errorMessage = Failure(error, finalPath);
  return published;
}

bool PathExists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

void RemoveFile(const std::string& path) { unlink(path.c_str()); }

FileStamp StampOf(const std::string& path) {
  struct stat status;
  FileStamp stamp;
  if (stat(path.c_str(), &status) != 0) return stamp;
  stamp.exists = true;
  stamp.size = status.st_size;
  stamp.modified = static_cast<uint64_t>(status.st_mtim.tv_sec) * 1000000000u +
                   static_cast<uint64_t>(status.st_mtim.tv_nsec);
  stamp.changed = static_cast<uint64_t>(status.st_ctim.tv_sec) * 1000000000u +
                  static_cast<uint64_t>(status.st_ctim.tv_nsec);
  return stamp;
}

namespace {

bool ReadToEnd(int fd, std::string& bytes, std::string& error) {
  char buffer[65536];
  ssize_t count;
  while ((count = read(fd, buffer, sizeof buffer)) != 0) {
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = strerror(errno);
      return false;
    }
    bytes.append(buffer, static_cast<size_t>(count));
    if (memchr(buffer, '\0', static_cast<size_t>(count)) != nullptr) return true;
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = strerror(errno);
    return false;
  }
  const bool read = ReadToEnd(fd, bytes, error);
  close(fd);
  return read;
}

bool ReadStandardInput(std::string& bytes, std::string& error) {
  return ReadToEnd(STDIN_FILENO, bytes, error);
}

}  // namespace Corvenmark
