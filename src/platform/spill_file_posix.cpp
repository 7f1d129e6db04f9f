#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/spill_file.h"

namespace Corvenmark {
namespace {

std::string TemporaryDirectory() {
  const char* directory = getenv("TMPDIR");
  return directory != nullptr && directory[0] != '\0' ? directory : "/tmp";
}

// A file that never has a name where the system can make one; otherwise one whose name is
// removed the moment it exists.
int CreateUnnamedFile(const std::string& directory) {
#ifdef O_TMPFILE
  const int unnamed = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (unnamed >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return unnamed;
#endif
  std::string name = directory + "/.corvenmark-spill-XXXXXX";
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) unlink(name.c_str());
  return fd;
}

}  // namespace

std::unique_ptr<SpillFile> SpillFile::Create(const std::string& directory, std::string& error) {
  const std::string where = directory.empty() ? TemporaryDirectory() : directory;
  const int fd = CreateUnnamedFile(where);
  if (fd < 0) {
    error = "cannot create a temporary file in " + where + ": " + strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<SpillFile>(new SpillFile(fd));
}

SpillFile::~SpillFile() { close(static_cast<int>(handle_)); }

bool SpillFile::Write(const char* data, size_t size, std::string& error) {
  while (size > 0) {
    const ssize_t written = write(static_cast<int>(handle_), data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = std::string("cannot write the temporary file: ") +
              (written < 0 ? strerror(errno) : "nothing was written");
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool SpillFile::Rewind(std::string& error) {
  if (lseek(static_cast<int>(handle_), 0, SEEK_SET) == 0) return true;
  error = std::string("cannot read the temporary file: ") + strerror(errno);
  return false;
}

int64_t SpillFile::Read(char* data, size_t size, std::string& error) {
  for (;;) {
    const ssize_t count = read(static_cast<int>(handle_), data, size);
    if (count >= 0) return count;
    if (errno != EINTR) {
      error = std::string("cannot read the temporary file: ") + strerror(errno);
      return -1;
    }
  }
}

}  // namespace Corvenmark
