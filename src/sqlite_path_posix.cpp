#include <limits.h>
#include <stdlib.h>

#include "sqlite_path.h"

namespace Corvenmark {

// File names are bytes here, and SQLite passes them through as they are.
std::string SqlitePath(const std::string& path) { return path; }

std::string RealFilePath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

const char* NoLockingVfsName() { return "unix-none"; }

}  // namespace Corvenmark
