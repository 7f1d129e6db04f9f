#include "cli/sorted_rows.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <utility>

namespace Corvenmark {
namespace {

constexpr size_t kReadBufferBytes = 64 << 10;
constexpr unsigned char kNullTag = 0x80;

}  // namespace

// One sorted run in its temporary file: each cell a tag byte (its kind, and whether it is
// null), its size in four bytes and its bytes.
class SortedRows::Run {
 public:
  Run(std::unique_ptr<SpillFile> file, size_t columns) : file_(std::move(file)), columns_(columns) {}

  static bool Append(std::string& out, const CellView& cell) {
    if (cell.text.size() > UINT32_MAX) return false;
    out += static_cast<char>(static_cast<unsigned char>(cell.kind) | (cell.isNull ? kNullTag : 0));
    const auto size = static_cast<uint32_t>(cell.text.size());
    out.append(reinterpret_cast<const char*>(&size), sizeof size);
    out.append(cell.text);
    return true;
  }

  /// Reads the run's next row into row(); false at its end or on failure (`error` set).
  bool Advance(std::string& error) {
    row_.Clear();
    for (size_t i = 0; i < columns_; ++i) {
      unsigned char tag = 0;
      uint32_t size = 0;
      if (!Take(reinterpret_cast<char*>(&tag), 1, error)) {
        return i == 0 && error.empty() ? false : Truncated(error);
      }
      if (!Take(reinterpret_cast<char*>(&size), sizeof size, error)) return Truncated(error);
      const size_t offset = row_.bytes.size();
      row_.bytes.resize(offset + size);
      if (!Take(&row_.bytes[offset], size, error)) return Truncated(error);
      row_.cells.push_back({offset, size, (tag & kNullTag) != 0,
                            static_cast<CellKind>(tag & ~kNullTag)});
    }
    views_.clear();
    for (size_t i = 0; i < columns_; ++i) views_.push_back(row_.View(i));
    return true;
  }
  const CellView* row() const { return views_.data(); }

 private:
  static bool Truncated(std::string& error) {
    if (error.empty()) error = "a temporary file ended inside a row";
    return false;
  }
  // Reads exactly `size` bytes; false at the end of the file or on failure.
  bool Take(char* data, size_t size, std::string& error) {
    while (size > 0) {
      if (at_ == buffer_.size()) {
        buffer_.resize(kReadBufferBytes);
        const int64_t read = file_->Read(buffer_.data(), buffer_.size(), error);
        if (read <= 0) return false;
        buffer_.resize(static_cast<size_t>(read));
        at_ = 0;
      }
      const size_t part = std::min(size, buffer_.size() - at_);
      std::memcpy(data, buffer_.data() + at_, part);
      at_ += part;
      data += part;
      size -= part;
    }
    return true;
  }

  std::unique_ptr<SpillFile> file_;
  size_t columns_;
  std::string buffer_;
  size_t at_ = 0;
  RowBatch row_;
  std::vector<CellView> views_;
};

SortedRows::SortedRows(size_t columns, RowOrdering ordering, size_t memoryBytes)
    : columns_(columns), ordering_(std::move(ordering)), memoryBytes_(memoryBytes) {}

SortedRows::~SortedRows() = default;

bool SortedRows::Add(const CellView* row, std::string& error) {
  order_.push_back(kept_.cells.size());
  kept_.Add(row, columns_);
  const size_t kept = kept_.bytes.size() + kept_.cells.size() * sizeof(RowBatch::Cell) +
                      order_.size() * sizeof(size_t);
  return kept < memoryBytes_ || SpillKept(error);
}

void SortedRows::SortKept() {
  std::vector<CellView> first(columns_);
  std::vector<CellView> second(columns_);
  std::stable_sort(order_.begin(), order_.end(), [&](size_t a, size_t b) {
    for (size_t i = 0; i < columns_; ++i) {
      first[i] = kept_.View(a + i);
      second[i] = kept_.View(b + i);
    }
    return ordering_(first.data(), second.data()) < 0;
  });
}

bool SortedRows::SpillKept(std::string& error) {
  SortKept();
  std::unique_ptr<SpillFile> file = SpillFile::Create("", error);
  if (!file) return false;
  std::string out;
  for (const size_t row : order_) {
    for (size_t i = 0; i < columns_; ++i) {
      if (!Run::Append(out, kept_.View(row + i))) {
        error = "a value too large to sort";
        return false;
      }
    }
    if (out.size() >= kReadBufferBytes && !file->Write(out.data(), out.size(), error)) return false;
    if (out.size() >= kReadBufferBytes) out.clear();
  }
  if (!file->Write(out.data(), out.size(), error) || !file->Rewind(error)) return false;
  runs_.push_back(std::make_unique<Run>(std::move(file), columns_));
  kept_ = RowBatch();
  order_.clear();
  return true;
}

bool SortedRows::Sort(std::string& error) {
  if (runs_.empty()) {
    SortKept();
    return true;
  }
  if (!order_.empty() && !SpillKept(error)) return false;
  // A heap of the runs by their current rows, the least on top.
  for (const auto& run : runs_) {
    if (run->Advance(error)) heap_.push_back(run.get());
    if (!error.empty()) return false;
  }
  std::make_heap(heap_.begin(), heap_.end(), [&](Run* a, Run* b) {
    return ordering_(a->row(), b->row()) > 0;
  });
  return true;
}

const CellView* SortedRows::Next() {
  if (runs_.empty()) {
    if (taken_ == order_.size()) return nullptr;
    row_.clear();
    for (size_t i = 0; i < columns_; ++i) row_.push_back(kept_.View(order_[taken_] + i));
    ++taken_;
    return row_.data();
  }
  const auto later = [&](Run* a, Run* b) { return ordering_(a->row(), b->row()) > 0; };
  if (current_ != nullptr) {
    if (current_->Advance(error_)) {
      heap_.push_back(current_);
      std::push_heap(heap_.begin(), heap_.end(), later);
    }
    current_ = nullptr;
    if (!error_.empty()) return nullptr;
  }
  if (heap_.empty()) return nullptr;
  std::pop_heap(heap_.begin(), heap_.end(), later);
  current_ = heap_.back();
  heap_.pop_back();
  return current_->row();
}

}  // namespace Corvenmark
