#ifndef CORVENMARK_HELD_FILE_H_
#define CORVENMARK_HELD_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace Corvenmark {

/// What a name in the file system leads to, the name itself not followed if it is a link.
enum class PathKind {
  kMissing,
  kRegular,
  kDirectory,
  kLink,  ///< A symbolic link, or a regular file that has other names as well.
  kOther,
};

/// The kind of `path` itself. Each platform has its own definition.
PathKind KindOfPath(const std::string& path);

/// The path of the file that `path` leads to, every link followed; `path` itself when it leads
/// nowhere, and on Windows, where programs name side files after the name given.
std::string RealPathOf(const std::string& path);

/// An existing file that the program opens, looks at and holds open while a library opens it
/// again by its name, so that the program can tell afterwards whether the name still led to the
/// same file: between the two opens the file could be moved away, or replaced, and a library
/// that creates a missing database would then make a new one. A pipe or a device is never
/// opened, and nothing is ever waited for. Each platform has its own definition.
class HeldFile {
 public:
  enum class Kind {
    kRegular,     ///< A regular file, or a link to one, held open.
    kOther,       ///< A directory, a pipe, a device: nothing the program reads as a database.
    kUnreadable,  ///< Missing, or not readable.
  };

  explicit HeldFile(const std::string& path);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  Kind kind() const { return kind_; }
  /// Up to `count` of the file's first bytes; fewer when it is shorter or cannot be read.
  std::string FirstBytes(size_t count) const;
  /// True when `path` now leads to the held file.
  bool IsAt(const std::string& path) const;

 private:
  std::string path_;
  Kind kind_ = Kind::kUnreadable;
  intptr_t handle_ = -1;
  uint64_t device_ = 0;
  uint64_t identity_ = 0;
};

/// True when `path`, its links followed, names something that exists and is not a regular file:
/// a directory, a pipe, a device (on Windows also a device name such as COM1, NUL or CON, or a
/// path in the device namespace, \\.\...). Reading a pipe would wait forever for a writer,
/// and a device is no database either. The one check every engine makes.
inline bool IsSomethingElseThanAFile(const std::string& path) {
  return HeldFile(path).kind() == HeldFile::Kind::kOther;
}

}  // namespace Corvenmark

#endif  // CORVENMARK_HELD_FILE_H_
