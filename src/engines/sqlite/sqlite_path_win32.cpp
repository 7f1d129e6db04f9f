#include <windows.h>

#include "sqlite_path.h"
#include "wide_text.h"

namespace Corvenmark {

// Arguments arrive in the ANSI code page; SQLite wants UTF-8.
std::string SqlitePath(const std::string& path) {
  const std::wstring wide = WidenedFromCodePage(path);
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                      nullptr, nullptr);
  return utf8;
}

// SQLite does not follow links on Windows either, so its side files sit beside the name given.
std::string ResolvedFilePath(const std::string& path) {
  const bool absolute = !path.empty() && (path[0] == '\\' || path[0] == '/' ||
                                          (path.size() > 1 && path[1] == ':'));
  return absolute || path.empty() ? path : ".\\" + path;
}

const char* NoLockingVfsName() { return "win32-none"; }

}  // namespace Corvenmark
