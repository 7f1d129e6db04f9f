#include <windows.h>

#include "engines/duckdb/duckdb_library.h"
#include "platform/wide_text.h"

namespace Corvenmark {
namespace {

std::wstring ProgramDirectory() {
  std::wstring path(32768, L'\0');
  const DWORD size = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (size == 0 || size >= path.size()) return L"";
  path.resize(size);
  return path.substr(0, path.find_last_of(L"\\/"));
}

}  // namespace

LibraryLookup LoadDuckDbLibrary() {
  LibraryLookup lookup;
  const std::wstring directory = ProgramDirectory();
  if (directory.empty()) return lookup;
  const std::wstring path = directory + L"\\duckdb.dll";
  lookup.paths.push_back(CodePageFromWide(path));
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return lookup;
  // The library's own imports come from the program's directory or System32, never from the
  // current directory or PATH.
  lookup.library = reinterpret_cast<void*>(LoadLibraryExW(
      path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (lookup.library == nullptr) {
    lookup.loadError = WindowsErrorText(GetLastError()) + ": " + lookup.paths[0];
  }
  return lookup;
}

void* FindLibraryFunction(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace Corvenmark
