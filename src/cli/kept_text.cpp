#include "cli/kept_text.h"

#include <cstdint>

namespace Corvenmark {

bool KeptText::Append(std::string_view text) {
  text_.append(text);
  if (text_.size() < memoryBytes_) return true;
  if (!spill_) spill_ = SpillFile::Create("", error_);
  if (!spill_ || !spill_->Write(text_.data(), text_.size(), error_)) return false;
  text_.clear();
  return true;
}

// Hands everything kept to `take` in pieces, the temporary file's first, and empties it.
template <class Take>
bool KeptText::Drain(const Take& take) {
  if (spill_) {
    if (!spill_->Rewind(error_)) return false;
    std::string piece(size_t{64} << 10, '\0');
    int64_t count;
    while ((count = spill_->Read(piece.data(), piece.size(), error_)) > 0) {
      if (!take(std::string_view(piece.data(), static_cast<size_t>(count)))) return false;
    }
    if (count < 0) return false;
    spill_.reset();
  }
  const bool taken = take(text_);
  text_.clear();
  return taken;
}

bool KeptText::WriteTo(std::ostream& out) {
  return Drain([&](std::string_view piece) {
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    return static_cast<bool>(out);
  });
}

bool KeptText::MoveTo(KeptText& other) {
  const bool moved = Drain([&](std::string_view piece) { return other.Append(piece); });
  if (!moved && error_.empty()) error_ = other.error_;
  return moved;
}

}  // namespace Corvenmark
