#include "query_report.h"

#include <algorithm>
#include <utility>

#include "platform/line_end.h"
#include "reports.h"

namespace Corvenmark {
namespace {

// Room past the budget for the row that crosses it, so that crossing it does not double the
// buffer.
const size_t kHeadroom = size_t{1} << 20;

}  // namespace

QueryReport::QueryReport(Options options) : options_(std::move(options)) {}

bool QueryReport::BeginResult(const std::vector<std::string>& columns) {
  columns_ = columns;
  lines_.clear();
  rowCount_ = 0;
  spill_.reset();
  return true;
}

bool QueryReport::AddRow(const CellView* cells, size_t count) {
  // A small result grows its buffer as any string does; one that outgrows the headroom is
  // likely to fill the budget, which is then taken in one piece.
  if (lines_.size() > kHeadroom && lines_.capacity() < options_.memoryBudget + kHeadroom) {
    lines_.reserve(options_.memoryBudget + kHeadroom);
  }
  // A row with no cells writes nothing, not even a line end.
  for (size_t i = 0; i < count; ++i) {
    lines_ += cells[i].text;
    lines_ += i + 1 < count ? std::string_view("\t") : kLineEnd;
  }
  ++rowCount_;
  return lines_.size() < options_.memoryBudget || Spill();
}

bool QueryReport::Spill() {
  if (!spill_) spill_ = SpillFile::Create(options_.spillDirectory, error_);
  if (!spill_ || !spill_->Write(lines_.data(), lines_.size(), error_)) return false;
  lines_.clear();
  return true;
}

bool QueryReport::Write(std::ostream& out, double elapsedMs) {
  out << "Executed in " << FormatElapsed(elapsedMs) << " ms (" << rowCount_
      << " rows):" << kLineEnd;
  WriteTabSeparatedLine(out, columns_);
  if (spill_) {
    // The buffer's memory is reused to carry the spilled lines back.
    if (!Spill() || !spill_->Rewind(error_)) return false;
    lines_.resize(std::max(lines_.capacity(), kHeadroom));
    int64_t count;
    while ((count = spill_->Read(lines_.data(), lines_.size(), error_)) > 0) {
      out.write(lines_.data(), count);
    }
    lines_.clear();
    if (count < 0) return false;
  }
  out.write(lines_.data(), static_cast<std::streamsize>(lines_.size()));
  return true;
}

}  // namespace Corvenmark
