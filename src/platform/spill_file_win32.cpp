#include <windows.h>

#include "platform/spill_file.h"
#include "platform/wide_text.h"

namespace Corvenmark {
namespace {

std::wstring UserTemporaryDirectory() {
  wchar_t directory[MAX_PATH + 2];
  const DWORD length = GetTempPathW(MAX_PATH + 2, directory);
  return length > 0 && length <= MAX_PATH + 1 ? std::wstring(directory, length) : L".\\";
}

}  // namespace

// Not the C runtime's tmpfile(), which writes to the root of the drive and needs rights there.
// The file is deleted when its only handle closes, which the system does when the process
// ends, however it ends.
std::unique_ptr<SpillFile> SpillFile::Create(const std::string& directory, std::string& error) {
  const std::wstring where =
      directory.empty() ? UserTemporaryDirectory() : WidenedFromCodePage(directory);
  const bool separated = !where.empty() && (where.back() == L'\\' || where.back() == L'/');
  const std::wstring prefix =
      where + (separated ? L"" : L"\\") + L"corvenmark-" + std::to_wstring(GetCurrentProcessId());
  for (unsigned attempt = 0;; ++attempt) {
    const std::wstring name = prefix + L"-" + std::to_wstring(attempt) + L".tmp";
    const HANDLE file =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      return std::unique_ptr<SpillFile>(new SpillFile(reinterpret_cast<intptr_t>(file)));
    }
    const DWORD failure = GetLastError();
    if ((failure != ERROR_FILE_EXISTS && failure != ERROR_ALREADY_EXISTS) || attempt == 100) {
      error = "cannot create a temporary file in " + CodePageFromWide(where) + ": " +
              WindowsErrorText(failure);
      return nullptr;
    }
  }
}

SpillFile::~SpillFile() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

bool SpillFile::Write(const char* data, size_t size, std::string& error) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), data, chunk, &written, nullptr) ||
        written == 0) {
      error = "cannot write the temporary file: " + WindowsErrorText(GetLastError());
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool SpillFile::Rewind(std::string& error) {
  LARGE_INTEGER start = {};
  if (SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), start, nullptr, FILE_BEGIN)) return true;
  error = "cannot read the temporary file: " + WindowsErrorText(GetLastError());
  return false;
}

int64_t SpillFile::Read(char* data, size_t size, std::string& error) {
  const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD count = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), data, chunk, &count, nullptr)) {
    error = "cannot read the temporary file: " + WindowsErrorText(GetLastError());
    return -1;
  }
  return count;
}

}  // namespace Corvenmark
