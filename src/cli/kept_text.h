#ifndef CORVENMARK_KEPT_TEXT_H_
#define CORVENMARK_KEPT_TEXT_H_

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/spill_file.h"

namespace Corvenmark {

/// Text kept to be written later, after a line that can only be written once all of it is
/// known: in memory up to a budget, beyond it in a temporary file, so that memory does not grow
/// with the text.
class KeptText {
 public:
  explicit KeptText(size_t memoryBytes = size_t{4} << 20) : memoryBytes_(memoryBytes) {}

  /// Keeps `text` after what is kept; false, with error() set, when the temporary file fails.
  bool Append(std::string_view text);
  /// Writes everything kept to `out`, or appends it to `other`, and keeps nothing more; false
  /// when the temporary file fails.
  bool WriteTo(std::ostream& out);
  bool MoveTo(KeptText& other);
  /// Forgets everything kept.
  void Clear() {
    text_.clear();
    spill_.reset();
  }
  bool empty() const { return !spill_ && text_.empty(); }
  const std::string& error() const { return error_; }

 private:
  template <class Take>
  bool Drain(const Take& take);

  size_t memoryBytes_;
  std::string text_;
  std::unique_ptr<SpillFile> spill_;
  std::string error_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_KEPT_TEXT_H_
