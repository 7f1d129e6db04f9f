#include <limits.h>
#include <stdlib.h>

#include "engines/sqlite/sqlite_path.h"

namespace Corvenmark {

// File names are bytes here, and SQLite passes them through as they are.
std::string SqlitePath(const std::string& path) { return path; }

std::string ResolvedFilePath(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path.empty() || path[0] == '/' ? path : "./" + path;
}

const char* NoLockingVfsName() { return "unix-none"; }

}  // namespace Corvenmark
