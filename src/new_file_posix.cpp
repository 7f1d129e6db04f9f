#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "new_file.h"

namespace Corvenmark {

bool CreateNewFile(const std::string& path, std::string& errorMessage) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    errorMessage = (errno == EEXIST ? "file already exists" : strerror(errno)) + (": " + path);
    return false;
  }
  close(fd);
  return true;
}

}  // namespace Corvenmark
