#include <windows.h>

#include "engines/sqlite/sqlite_path.h"
#include "platform/wide_text.h"

namespace Corvenmark {

// Arguments arrive in the ANSI code page; SQLite wants UTF-8.
std::string SqlitePath(const std::string& path) { return Utf8FromCodePage(path); }

// SQLite does not follow links on Windows either, so its side files sit beside the name given.
std::string ResolvedFilePath(const std::string& path) {
  const bool absolute = !path.empty() && (path[0] == '\\' || path[0] == '/' ||
                                          (path.size() > 1 && path[1] == ':'));
  return absolute || path.empty() ? path : ".\\" + path;
}

const char* NoLockingVfsName() { return "win32-none"; }

}  // namespace Corvenmark
