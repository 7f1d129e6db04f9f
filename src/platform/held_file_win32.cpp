#include <windows.h>

#include <string_view>

#include "platform/held_file.h"
#include "platform/wide_text.h"

namespace Corvenmark {
namespace {

// A handle without read or write access tells what a path is without reading it, and conflicts
// with no other open, even an exclusive one; a directory opens only with backup semantics.
HANDLE OpenToLookAt(const std::string& path, DWORD share, DWORD flags) {
  return CreateFileW(WidenedFromCodePage(path).c_str(), 0, share, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsDiskFile(HANDLE file, BY_HANDLE_FILE_INFORMATION& information) {
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A device name (COM1, NUL, CON, also as nul.txt on older Windows) or a path in the device
// namespace (\\.\pipe\x) becomes a path in that namespace, which is never a file on a disk.
// Known by its name, a device is never opened: opening one can wait for it forever.
bool NamesADevice(const std::string& path) {
  const std::wstring wide = WidenedFromCodePage(path);
  wchar_t full[MAX_PATH];
  const DWORD size = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
  return size >= 4 && size < MAX_PATH && std::wstring_view(full, 4) == L"\\\\.\\";
}

uint64_t IdentityOf(const BY_HANDLE_FILE_INFORMATION& information) {
  return (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
}

}  // namespace

PathKind KindOfPath(const std::string& path) {
  if (NamesADevice(path)) return PathKind::kOther;
  const HANDLE file = OpenToLookAt(path, kShareAll, FILE_FLAG_OPEN_REPARSE_POINT);
  if (file == INVALID_HANDLE_VALUE) return PathKind::kMissing;
  BY_HANDLE_FILE_INFORMATION information;
  PathKind kind = PathKind::kOther;
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information)) {
    const DWORD attributes = information.dwFileAttributes;
    kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? PathKind::kLink
           : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? PathKind::kDirectory
           : information.nNumberOfLinks > 1                 ? PathKind::kLink
                                                            : PathKind::kRegular;
  }
  CloseHandle(file);
  return kind;
}

std::string RealPathOf(const std::string& path) { return path; }

HeldFile::HeldFile(const std::string& path) : path_(path) {
  if (NamesADevice(path)) {
    kind_ = Kind::kOther;
    return;
  }
  // Shared for reading and writing, so that a library can open the file too, even exclusively,
  // but not for deleting, so that nobody can move or remove it while it is held.
  const HANDLE file = OpenToLookAt(path, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
  if (file == INVALID_HANDLE_VALUE) return;
  handle_ = reinterpret_cast<intptr_t>(file);
  BY_HANDLE_FILE_INFORMATION information;
  if (!IsDiskFile(file, information)) {
    kind_ = Kind::kOther;
    return;
  }
  kind_ = Kind::kRegular;
  device_ = information.dwVolumeSerialNumber;
  identity_ = IdentityOf(information);
}

HeldFile::~HeldFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

// Read through a handle of its own, closed at once: the held one has no access to the data, so
// that it keeps no exclusive open from succeeding. The held file cannot have moved meanwhile.
std::string HeldFile::FirstBytes(size_t count) const {
  std::string bytes(count, '\0');
  DWORD done = 0;
  const HANDLE file = kind_ != Kind::kRegular
                          ? INVALID_HANDLE_VALUE
                          : CreateFileW(WidenedFromCodePage(path_).c_str(), GENERIC_READ, kShareAll,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(count), &done, nullptr)) done = 0;
    CloseHandle(file);
  }
  bytes.resize(done);
  return bytes;
}

bool HeldFile::IsAt(const std::string& path) const {
  if (kind_ != Kind::kRegular) return false;
  const HANDLE file = OpenToLookAt(path, kShareAll, 0);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool same = GetFileInformationByHandle(file, &information) &&
                    information.dwVolumeSerialNumber == device_ &&
                    IdentityOf(information) == identity_;
  CloseHandle(file);
  return same;
}

}  // namespace Corvenmark
