#include "sqlite_path.h"

namespace Corvenmark {

// File names are bytes here, and SQLite passes them through as they are.
std::string SqlitePath(const std::string& path) { return path; }

}  // namespace Corvenmark
