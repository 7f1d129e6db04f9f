#include <windows.h>

#include "file_system.h"

namespace Corvenmark {
namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/:");
  if (separator == std::string::npos) return ".";
  return path.substr(0, separator + (path[separator] == ':' ? 1 : 0));
}

std::string Failure(DWORD error, const std::string& path) {
  const char* reason = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                           ? "file already exists"
                       : error == ERROR_PATH_NOT_FOUND ? "No such file or directory"
                       : error == ERROR_ACCESS_DENIED  ? "Permission denied"
                                                       : "unable to create file";
  return std::string(reason) + ": " + path;
}

}  // namespace

bool CreateTemporarySibling(const std::string& finalPath, std::string& temporaryPath,
                            std::string& errorMessage) {
  const std::string directory = DirectoryOf(finalPath);
  const std::string prefix = directory + (directory.back() == ':' ? "" : "\\") +
                             ".corvenmark-new-" + std::to_string(GetCurrentProcessId()) + "-";
  for (unsigned attempt = 0;; ++attempt) {
    const std::string name = prefix + std::to_string(attempt);
    // CREATE_NEW fails when the path exists, whatever it is.
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      temporaryPath = name;
      return true;
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
      errorMessage = Failure(error, finalPath);
      return false;
    }
  }
}

bool PublishNewFile(const std::string& temporaryPath, const std::string& finalPath,
                    std::string& errorMessage) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
  const bool published =
      MoveFileExA(temporaryPath.c_str(), finalPath.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
  if (!published) {
    errorMessage = Failure(GetLastError(), finalPath);
    DeleteFileA(temporaryPath.c_str());
    return false;
  }
  SetFileAttributesA(finalPath.c_str(), FILE_ATTRIBUTE_NORMAL);
  return true;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFile(const std::string& path) { DeleteFileA(path.c_str()); }

FileStamp StampOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FileStamp stamp;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return stamp;
  stamp.exists = true;
  stamp.size = (int64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  stamp.modified =
      (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  return stamp;
}

}  // namespace Corvenmark
