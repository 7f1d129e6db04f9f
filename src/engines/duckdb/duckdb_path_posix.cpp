#include <sys/stat.h>

#include "duckdb_path.h"

namespace Corvenmark {

std::string DuckDbPath(const std::string& path) {
  return !path.empty() && path[0] == '/' ? path : "./" + path;
}

bool IsOtherThanRegularFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

}  // namespace Corvenmark
