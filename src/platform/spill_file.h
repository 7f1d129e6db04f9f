#ifndef CORVENMARK_SPILL_FILE_H_
#define CORVENMARK_SPILL_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Corvenmark {

/// An anonymous temporary file for data that does not fit in memory. No other process can
/// see or open it, and the operating system removes it when the program ends, however it
/// ends. Each platform has its own definition.
class SpillFile {
 public:
  /// Creates the file in `directory`, or in the user's temporary directory when it is empty.
  /// Null, with `error` set, when it cannot be created.
  static std::unique_ptr<SpillFile> Create(const std::string& directory, std::string& error);
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  /// Appends all of `data`. Returns false, with `error` set, when it cannot.
  bool Write(const char* data, size_t size, std::string& error);
  /// Goes back to the start for reading.
  bool Rewind(std::string& error);
  /// Reads up to `size` bytes. Returns how many were read, 0 at the end, or -1 with `error`
  /// set.
  int64_t Read(char* data, size_t size, std::string& error);

 private:
  explicit SpillFile(intptr_t handle) : handle_(handle) {}
  intptr_t handle_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_SPILL_FILE_H_
