#ifndef CORVENMARK_FILE_SYSTEM_H_
#define CORVENMARK_FILE_SYSTEM_H_

#include <cstdint>
#include <string>

namespace Corvenmark {

/// Creates an empty file with a new, hidden name in the directory of `finalPath`, where a
/// file is built before it is published under `finalPath`. Each platform has its own
/// definition. On failure returns false with `errorMessage` set to "<reason>: <finalPath>".
bool CreateTemporarySibling(const std::string& finalPath, std::string& temporaryPath,
                            std::string& errorMessage);

/// Gives the finished file at `temporaryPath` the name `finalPath` in one step that fails when
/// anything already exists there, so that a file the user owns is never replaced. The
/// temporary name is gone afterwards either way. On failure returns false with `errorMessage`
/// set to "<reason>: <finalPath>", for example "file already exists: shop.db".
bool PublishNewFile(const std::string& temporaryPath, const std::string& finalPath,
                    std::string& errorMessage);

/// True when something, even a dangling link, is known to exist at `path`.
bool PathExists(const std::string& path);

/// Removes the file at `path`, if it can.
void RemoveFile(const std::string& path);

/// Enough of a file's state to tell whether anyone wrote to it, created it or removed it.
struct FileStamp {
  bool exists = false;
  int64_t size = 0;
  /// The times of the last change of the file's bytes and of the file itself (which nobody can
  /// set back, as anyone may the first), in the platform's own units (nanoseconds since 1970,
  /// or Windows' 100-nanosecond steps since 1601), compared only as they are.
  uint64_t modified = 0;
  uint64_t changed = 0;
  bool operator==(const FileStamp& other) const {
    return exists == other.exists && size == other.size && modified == other.modified &&
           changed == other.changed;
  }
};

FileStamp StampOf(const std::string& path);

/// Reads the whole file at `path` (a pipe to its end) as text: up to its end, or only to the end
/// of the piece that brought its first NUL byte, since no text holds one and an endless source
/// of them (/dev/zero) would otherwise fill memory first. On failure returns false with `error`
/// set to the system's reason, for example "No such file or directory".
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

/// Reads standard input as ReadWholeFile reads a file, its bytes as they are.
bool ReadStandardInput(std::string& bytes, std::string& error);

}  // namespace Corvenmark

#endif  // CORVENMARK_FILE_SYSTEM_H_
