#include "duckdb_path.h"
#include "sqlite_path.h"

namespace Corvenmark {
namespace {

// "\dir", "\\server\share", "/dir" and "C:..." (DuckDB reads no one-letter prefix as an
// extension's name).
bool IsRooted(const std::string& path) {
  if (path.empty()) return false;
  if (path[0] == '\\' || path[0] == '/') return true;
  const char drive = path[0];
  return path.size() >= 2 && path[1] == ':' &&
         ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'));
}

}  // namespace

// SqlitePath converts the code page's bytes to the UTF-8 that DuckDB takes as well.
std::string DuckDbPath(const std::string& path) {
  const std::string utf8 = SqlitePath(path);
  return IsRooted(utf8) ? utf8 : ".\\" + utf8;
}

}  // namespace Corvenmark
