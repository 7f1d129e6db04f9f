#include "engines/duckdb/duckdb_path.h"

namespace Corvenmark {

std::string DuckDbPath(const std::string& path) {
  return !path.empty() && path[0] == '/' ? path : "./" + path;
}

}  // namespace Corvenmark
