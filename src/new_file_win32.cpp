#include <windows.h>

#include "new_file.h"

namespace Corvenmark {

bool CreateNewFile(const std::string& path, std::string& errorMessage) {
  // CREATE_NEW fails when the path exists, whatever it is.
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const char* reason = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                             ? "file already exists"
                             : "unable to create file";
    errorMessage = std::string(reason) + ": " + path;
    return false;
  }
  CloseHandle(file);
  return true;
}

}  // namespace Corvenmark
