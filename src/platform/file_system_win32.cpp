#include <string.h>
#include <windows.h>

#include "platform/file_system.h"
#include "platform/wide_text.h"

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
                                                       : nullptr;
  return (reason != nullptr ? reason : WindowsErrorText(error)) + ": " + path;
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
    const HANDLE file = CreateFileW(WidenedFromCodePage(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
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
      MoveFileExW(WidenedFromCodePage(temporaryPath).c_str(),
                  WidenedFromCodePage(finalPath).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
  if (!published) {
    errorMessage = Failure(GetLastError(), finalPath);
    DeleteFileW(WidenedFromCodePage(temporaryPath).c_str());
    return false;
  }
  SetFileAttributesW(WidenedFromCodePage(finalPath).c_str(), FILE_ATTRIBUTE_NORMAL);
  return true;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesW(WidenedFromCodePage(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFile(const std::string& path) { DeleteFileW(WidenedFromCodePage(path).c_str()); }

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  const HANDLE file = CreateFileW(WidenedFromCodePage(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return stamp;
  FILE_BASIC_INFO times;
  FILE_STANDARD_INFO sizes;
  if (GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) &&
      GetFileInformationByHandleEx(file, FileStandardInfo, &sizes, sizeof sizes)) {
    stamp.exists = true;
    stamp.size = sizes.EndOfFile.QuadPart;
    stamp.modified = static_cast<uint64_t>(times.LastWriteTime.QuadPart);
    stamp.changed = static_cast<uint64_t>(times.ChangeTime.QuadPart);
  }
  CloseHandle(file);
  return stamp;
}

namespace {

// A pipe whose writer has gone ends there; so does a console's end of input.
bool ReadToEnd(HANDLE file, std::string& bytes, std::string& error) {
  char buffer[65536];
  DWORD count = 0;
  for (;;) {
    if (!ReadFile(file, buffer, sizeof buffer, &count, nullptr)) {
      const DWORD failure = GetLastError();
      if (failure == ERROR_BROKEN_PIPE || failure == ERROR_HANDLE_EOF) return true;
      error = WindowsErrorText(failure);
      return false;
    }
    if (count == 0) return true;
    bytes.append(buffer, count);
    if (memchr(buffer, '\0', count) != nullptr) return true;
  }
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  const HANDLE file = CreateFileW(WidenedFromCodePage(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = WindowsErrorText(GetLastError());
    return false;
  }
  const bool read = ReadToEnd(file, bytes, error);
  CloseHandle(file);
  return read;
}

bool ReadStandardInput(std::string& bytes, std::string& error) {
  return ReadToEnd(GetStdHandle(STD_INPUT_HANDLE), bytes, error);
}

}  // namespace Corvenmark
