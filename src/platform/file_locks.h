#ifndef CORVENMARK_FILE_LOCKS_H_
#define CORVENMARK_FILE_LOCKS_H_

#include <cstdint>
#include <memory>
#include <string>

namespace Corvenmark {

/// A file held open, for reading only, for the locks it takes on ranges of its bytes: the
/// advisory locks (on Windows, the byte-range locks) through which programs that share a file,
/// databases among them, tell each other who reads it and who writes it. Locks are held until
/// they are released or the object is destroyed; none is ever waited for. Each platform has its
/// own definition.
class FileLocks {
 public:
  /// Null when the file cannot be opened for reading.
  static std::unique_ptr<FileLocks> Open(const std::string& path);
  ~FileLocks();
  FileLocks(const FileLocks&) = delete;
  FileLocks& operator=(const FileLocks&) = delete;

  /// Takes a shared lock on `length` bytes from `offset`; false, at once, when another process
  /// holds an exclusive lock on any of them.
  bool TryLockShared(uint64_t offset, uint64_t length);
  /// Releases the lock taken on exactly that range.
  void Unlock(uint64_t offset, uint64_t length);

 private:
  explicit FileLocks(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_FILE_LOCKS_H_
