#include <windows.h>

#include "platform/file_locks.h"
#include "platform/wide_text.h"

namespace Corvenmark {
namespace {

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED overlapped = {};
  overlapped.Offset = static_cast<DWORD>(offset);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

}  // namespace

std::unique_ptr<FileLocks> FileLocks::Open(const std::string& path) {
  // Shared in every way, so that the file's own programs open, write and rename it as ever.
  const HANDLE file = CreateFileW(WidenedFromCodePage(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<FileLocks>(new FileLocks(reinterpret_cast<intptr_t>(file)));
}

FileLocks::~FileLocks() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

bool FileLocks::TryLockShared(uint64_t offset, uint64_t length) {
  OVERLAPPED overlapped = At(offset);
  return LockFileEx(reinterpret_cast<HANDLE>(handle_), LOCKFILE_FAIL_IMMEDIATELY, 0,
                    static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &overlapped) != 0;
}

void FileLocks::Unlock(uint64_t offset, uint64_t length) {
  OVERLAPPED overlapped = At(offset);
  UnlockFileEx(reinterpret_cast<HANDLE>(handle_), 0, static_cast<DWORD>(length),
               static_cast<DWORD>(length >> 32), &overlapped);
}

}  // namespace Corvenmark
