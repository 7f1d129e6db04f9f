#ifndef CORVENMARK_ROW_CURSOR_H_
#define CORVENMARK_ROW_CURSOR_H_

// Rows taken one at a time, so that two tables can be read side by side and merged as they come.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engines/engine.h"
#include "engines/row_batch.h"

namespace Corvenmark {

/// A table's rows, one after another.
class RowCursor {
 public:
  virtual ~RowCursor() = default;
  /// The next row, with as many cells as the table has columns, valid until the next call; null
  /// at the end, and when the read failed (Finish says why).
  virtual const CellView* Next() = 0;
};

/// The rows of one table of an open database, read on a thread of its own while they are taken,
/// a batch ahead at most, each value as it is (a BLOB's bytes, a double's bits) and, when
/// `nestedAsJson`, a nested value as JSON. The database is the thread's until Finish returns.
class ThreadedRows : public RowCursor {
 public:
  ThreadedRows(Database& database, const TableMeta& table, RowOrder order, bool nestedAsJson);
  /// Stops the read where it is.
  ~ThreadedRows() override;
  ThreadedRows(const ThreadedRows&) = delete;
  ThreadedRows& operator=(const ThreadedRows&) = delete;

  /// Waits for the read to begin: false when it failed before its first row (Finish says why).
  bool Begin();
  /// The table's columns as the read gives them; valid once Begin returned true.
  const std::vector<std::string>& Columns() const { return columns_; }
  const CellView* Next() override;
  /// Stops the read, if it still runs, and says how it ended: a read stopped before its end
  /// fails with an empty message. Rethrows what the read threw.
  Outcome Finish();

 private:
  class Reader;
  void Stop();
  void Read(Database& database, const TableMeta& table, RowOrder order, bool nestedAsJson);
  bool Hand(RowBatch& batch);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> columns_;
  bool begun_ = false;
  bool done_ = false;
  bool stopped_ = false;
  std::deque<RowBatch> waiting_;
  std::vector<RowBatch> spares_;  ///< Batches taken, for the reader to fill again.
  Outcome outcome_;
  std::exception_ptr failure_;
  RowBatch taken_;  ///< The batch Next hands rows from.
  size_t nextCell_ = 0;
  std::vector<CellView> row_;
  std::thread reader_;  ///< Last, so that it starts once every other member is made.
};

}  // namespace Corvenmark

#endif  // CORVENMARK_ROW_CURSOR_H_
