#include "cli/row_cursor.h"

#include <cassert>
#include <utility>

namespace Corvenmark {

class ThreadedRows::Reader : public RowSink {
 public:
  Reader(ThreadedRows& rows, bool nestedAsJson) : rows_(rows), nestedAsJson_(nestedAsJson) {}
  bool BeginResult(const std::vector<std::string>& columns) override {
    const std::lock_guard<std::mutex> lock(rows_.mutex_);
    rows_.columns_ = columns;
    rows_.begun_ = true;
    rows_.changed_.notify_all();
    return !rows_.stopped_;
  }
  bool AddRow(const CellView* cells, size_t count) override {
    filling_.Add(cells, count);
    return !filling_.Full() || rows_.Hand(filling_);
  }
  bool WantsNativeValues() const override { return true; }
  bool WantsDoubleBits() const override { return true; }
  bool PrefersJson() const override { return nestedAsJson_; }
  RowBatch& filling() { return filling_; }

 private:
  ThreadedRows& rows_;
  bool nestedAsJson_;
  RowBatch filling_;
};

ThreadedRows::ThreadedRows(Database& database, const TableMeta& table, RowOrder order,
                           bool nestedAsJson)
    : reader_([this, &database, &table, order, nestedAsJson] {
        Read(database, table, order, nestedAsJson);
      }) {}

ThreadedRows::~ThreadedRows() { Stop(); }

void ThreadedRows::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }
  if (reader_.joinable()) reader_.join();
}

void ThreadedRows::Read(Database& database, const TableMeta& table, RowOrder order,
                        bool nestedAsJson) {
  Reader reader(*this, nestedAsJson);
  Outcome outcome;
  std::exception_ptr failure;
  try {
    outcome = database.ReadRows(table, reader, order);
    if (outcome.success && !reader.filling().rowSizes.empty()) Hand(reader.filling());
  } catch (...) {
    failure = std::current_exception();
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  outcome_ = std::move(outcome);
  failure_ = failure;
  done_ = true;
  changed_.notify_all();
}

// Waits until fewer than two batches wait, then hands `batch` over; false when the rows are no
// longer wanted.
bool ThreadedRows::Hand(RowBatch& batch) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return waiting_.size() < 2 || stopped_; });
  if (stopped_) return false;
  waiting_.push_back(std::move(batch));
  // A batch already taken is filled again: its memory is ready for as many rows.
  if (spares_.empty()) {
    batch = RowBatch();
  } else {
    batch = std::move(spares_.back());
    spares_.pop_back();
    batch.Clear();
  }
  changed_.notify_all();
  return true;
}

bool ThreadedRows::Begin() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return begun_ || done_; });
  return begun_;
}

const CellView* ThreadedRows::Next() {
  if (nextCell_ == taken_.cells.size()) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !waiting_.empty() || done_; });
    if (waiting_.empty()) return nullptr;
    spares_.push_back(std::move(taken_));
    taken_ = std::move(waiting_.front());
    waiting_.pop_front();
    nextCell_ = 0;
    changed_.notify_all();
  }
  row_.clear();
  const size_t count = columns_.size();
  assert(nextCell_ + count <= taken_.cells.size());
  for (size_t i = 0; i < count; ++i) row_.push_back(taken_.View(nextCell_++));
  return row_.data();
}

Outcome ThreadedRows::Finish() {
  Stop();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  return outcome_;
}

}  // namespace Corvenmark
