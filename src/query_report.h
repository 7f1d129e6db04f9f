#ifndef CORVENMARK_QUERY_REPORT_H_
#define CORVENMARK_QUERY_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engines/engine.h"
#include "platform/spill_file.h"

namespace Corvenmark {

/// Keeps the rows of a query's result until the last one is read, since the report counts them
/// in its first line. Rows are kept as the report's own lines, in memory up to a budget and
/// beyond it in an anonymous temporary file, so a result of any size costs bounded memory.
class QueryReport : public RowSink {
 public:
  struct Options {
    size_t memoryBudget = size_t{32} << 20;  ///< Bytes of lines kept in memory.
    std::string spillDirectory;  ///< Where the temporary file goes; empty for the system's.
  };

  QueryReport() : QueryReport(Options()) {}
  explicit QueryReport(Options options);

  bool BeginResult(const std::vector<std::string>& columns) override;
  bool AddRow(const CellView* cells, size_t count) override;

  /// Writes the "Executed in" line, the header line (only when there are columns) and one line
  /// per row, each row by its own number of cells, values as they are, unescaped. Returns false
  /// when the rows kept in the temporary file could not be read back.
  bool Write(std::ostream& out, double elapsedMs);

  /// Why a row could not be kept, or the rows could not be read back.
  const std::string& error() const { return error_; }

 private:
  bool Spill();

  Options options_;
  std::vector<std::string> columns_;
  std::string lines_;  ///< Lines not yet written to `spill_`.
  uint64_t rowCount_ = 0;
  std::unique_ptr<SpillFile> spill_;
  std::string error_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_QUERY_REPORT_H_
