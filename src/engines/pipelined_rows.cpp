#include "engines/pipelined_rows.h"

#include <cassert>
#include <utility>

namespace Corvenmark {
PipelinedRows::PipelinedRows(RowSink& target) : target_(target), writer_([this] { Write(); }) {}

PipelinedRows::~PipelinedRows() {
  if (!writer_.joinable()) return;
  Send(true);
  writer_.join();
}

bool PipelinedRows::BeginResult(const std::vector<std::string>& columns) {
  if (!Send(false) || !WaitUntilWritten()) return false;
  // The thread is idle until the next batch: `target` is this thread's meanwhile.
  const std::lock_guard<std::mutex> lock(mutex_);
  refused_ = refused_ || !target_.BeginResult(columns);
  return !refused_;
}

bool PipelinedRows::AddRow(const CellView* cells, size_t count) {
  filling_.Add(cells, count);
  return !filling_.Full() || Send(false);
}

bool PipelinedRows::Finish() {
  if (writer_.joinable()) {
    Send(true);
    writer_.join();
  }
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  return !refused_;
}

bool PipelinedRows::Send(bool last) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return waiting_.size() < 2 || refused_; });
  if (!filling_.rowSizes.empty() && !refused_) waiting_.push_back(std::move(filling_));
  filling_ = RowBatch();
  done_ = done_ || last;
  changed_.notify_all();
  return !refused_;
}

bool PipelinedRows::WaitUntilWritten() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return (waiting_.empty() && !writing_) || refused_; });
  return !refused_;
}

void PipelinedRows::Write() {
  std::vector<CellView> views;
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !waiting_.empty() || done_; });
    if (waiting_.empty()) return;
    RowBatch batch = std::move(waiting_.front());
    waiting_.pop_front();
    writing_ = true;
    lock.unlock();
    bool accepted = true;
    try {
      size_t cell = 0;
      for (const size_t count : batch.rowSizes) {
        views.clear();
        for (size_t i = 0; i < count; ++i) views.push_back(batch.View(cell++));
        accepted = target_.AddRow(views.data(), views.size());
        if (!accepted) break;
      }
      assert(!accepted || cell == batch.cells.size());
    } catch (...) {
      // Out of memory, say: given to the reading thread, where every failure is reported.
      failure_ = std::current_exception();
      accepted = false;
    }
    lock.lock();
    writing_ = false;
    if (!accepted) {
      refused_ = true;
      waiting_.clear();
    }
    changed_.notify_all();
    if (refused_) return;
  }
}

}  // namespace Corvenmark
