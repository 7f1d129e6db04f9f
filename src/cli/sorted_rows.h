#ifndef CORVENMARK_SORTED_ROWS_H_
#define CORVENMARK_SORTED_ROWS_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/row_cursor.h"
#include "engines/row_batch.h"
#include "platform/spill_file.h"

namespace Corvenmark {

/// How two rows of the same columns are ordered: negative, zero or positive.
using RowOrdering = std::function<int(const CellView* first, const CellView* second)>;

/// Rows put in order in bounded memory: each time the rows kept reach the budget they are
/// sorted and written to a temporary file, and the files are merged as the rows are taken.
class SortedRows : public RowCursor {
 public:
  SortedRows(size_t columns, RowOrdering ordering, size_t memoryBytes = size_t{32} << 20);
  ~SortedRows() override;
  SortedRows(const SortedRows&) = delete;
  SortedRows& operator=(const SortedRows&) = delete;

  /// Keeps one row of `columns` cells; false, with `error` set, when a temporary file fails.
  bool Add(const CellView* row, std::string& error);
  /// Ends the adding; the rows are then taken in order with Next.
  bool Sort(std::string& error);
  /// The next row in order; null at the end, and when a temporary file fails (error says why).
  const CellView* Next() override;
  const std::string& error() const { return error_; }

 private:
  class Run;
  bool SpillKept(std::string& error);
  void SortKept();

  size_t columns_;
  RowOrdering ordering_;
  size_t memoryBytes_;
  RowBatch kept_;
  std::vector<size_t> order_;  ///< The first cell of each kept row, in order once sorted.
  size_t taken_ = 0;
  std::vector<std::unique_ptr<Run>> runs_;
  std::vector<Run*> heap_;
  Run* current_ = nullptr;  ///< The run whose row Next last gave, to be advanced next.
  std::vector<CellView> row_;
  std::string error_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_SORTED_ROWS_H_
