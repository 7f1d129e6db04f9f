#include "engines/duckdb/duckdb_path.h"
#include "platform/wide_text.h"

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

std::string DuckDbPath(const std::string& path) {
  const std::string utf8 = Utf8FromCodePage(path);
  return IsRooted(utf8) ? utf8 : ".\\" + utf8;
}

}  // namespace Corvenmark
