#include <windows.h>

#include "duckdb_path.h"
#include "sqlite_path.h"
#include "wide_text.h"

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

// A handle without read or write access tells what the path is without reading it; a pipe or
// a device (NUL, CON) is no disk file, and a directory opens only with backup semantics.
bool IsOtherThanRegularFile(const std::string& path) {
  const HANDLE file = CreateFileW(WidenedFromCodePage(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(file, &information) &&
                       (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(file);
  return !regular;
}

}  // namespace Corvenmark
