#ifndef CORVENMARK_PIPELINED_ROWS_H_
#define CORVENMARK_PIPELINED_ROWS_H_

// Rows handed from the thread that reads them to a thread that writes them, so that a copy
// reads its source while it writes its target: each side's work overlaps the other's.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engines/engine.h"
#include "engines/row_batch.h"

namespace Corvenmark {

/// A sink that copies each row it is given into a batch and passes whole batches to `target`
/// on a thread of its own. `target` is never called from two threads at once: BeginResult waits
/// for the rows before it, and nothing calls it after Finish. At most two batches of about
/// RowBatch::kFullBytes each wait at any time, so memory does not grow with the rows.
class PipelinedRows : public RowSink {
 public:
  explicit PipelinedRows(RowSink& target);
  ~PipelinedRows() override;
  PipelinedRows(const PipelinedRows&) = delete;
  PipelinedRows& operator=(const PipelinedRows&) = delete;

  bool BeginResult(const std::vector<std::string>& columns) override;
  bool AddRow(const CellView* cells, size_t count) override;
  bool PrefersJson() const override { return target_.PrefersJson(); }
  bool WantsNativeValues() const override { return target_.WantsNativeValues(); }

  /// Waits until `target` has every row, and stops the thread; false when it refused one.
  /// Rethrows what `target` threw on the thread.
  bool Finish();

 private:
  void Write();
  bool Send(bool last);
  bool WaitUntilWritten();

  RowSink& target_;
  RowBatch filling_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<RowBatch> waiting_;
  bool writing_ = false;  ///< True while the thread writes a batch it took.
  bool done_ = false;
  bool refused_ = false;
  std::exception_ptr failure_;
  std::thread writer_;  ///< Last, so that it starts once every other member is made.
};

}  // namespace Corvenmark

#endif  // CORVENMARK_PIPELINED_ROWS_H_
