#ifndef CORVENMARK_ROW_LIST_H_
#define CORVENMARK_ROW_LIST_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pod_buffer.h"

namespace Corvenmark {

/// The rows of a query result: a list of rows, each a list of text cells, every row with its
/// own number of cells. All the text lives in one buffer, so a result of millions of cells
/// costs a few large allocations rather than one per cell. The buffer holds the rows as
/// tab-separated lines, so that printing them in that form is a single write.
class RowList {
 public:
  RowList() = default;
  RowList(const std::vector<std::vector<std::string>>& rows);  // NOLINT: a list converts

  /// Starts a new row with no cells.
  void AddRow() { rowEnds_.Append(cellEnds_.size()); }
  /// Appends a cell to the last row, which AddRow must have started.
  void AddCell(std::string_view text) {
    if (CellCount(size() - 1) > 0) text_.back() = '\t';  // the row goes on after its last cell
    text_.Append(text.data(), text.size());
    cellEnds_.Append(text_.size());
    text_.Append('\n');
    ++rowEnds_.back();
  }

  size_t size() const { return rowEnds_.size(); }
  bool empty() const { return rowEnds_.empty(); }
  size_t CellCount(size_t row) const { return rowEnds_[row] - FirstCell(row); }
  std::string_view Cell(size_t row, size_t cell) const {
    const size_t index = FirstCell(row) + cell;
    const size_t start = index == 0 ? 0 : cellEnds_[index - 1] + 1;  // past the separator
    return {text_.data() + start, cellEnds_[index] - start};
  }

  /// Every row as one line, its cells separated by tabs and the line ended by a line feed; a
  /// row without cells gives nothing, not even a line feed. Cells are not escaped.
  std::string_view TabSeparatedLines() const { return {text_.data(), text_.size()}; }

  /// The rows as plain lists, for callers that want to compare or keep them.
  std::vector<std::vector<std::string>> ToLists() const;

  bool operator==(const RowList& other) const {
    return text_ == other.text_ && cellEnds_ == other.cellEnds_ && rowEnds_ == other.rowEnds_;
  }

 private:
  size_t FirstCell(size_t row) const { return row == 0 ? 0 : rowEnds_[row - 1]; }

  PodBuffer<char> text_;        ///< Every cell's text followed by a tab or a line feed.
  PodBuffer<size_t> cellEnds_;  ///< Where each cell's text ends in `text_`, before its separator.
  PodBuffer<size_t> rowEnds_;   ///< How many cells there are up to the end of each row.
};

}  // namespace Corvenmark

#endif  // CORVENMARK_ROW_LIST_H_
