#ifndef CORVENMARK_QUERY_REPORT_H_
#define CORVENMARK_QUERY_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine.h"
#include "cli/output_format.h"
#include "platform/spill_file.h"
#include "cli/text_table.h"

namespace Corvenmark {

/// Keeps the rows of a query's result until the last one is read: the report counts them in its
/// first line, and a later result with columns replaces an earlier one, so that nothing is
/// written for a result that is not the last, or for SQL that fails. Rows are kept as the
/// report's own records in the format asked for, in memory up to a budget and beyond it in an
/// anonymous temporary file, so a result of any size costs bounded memory.
class QueryReport : public RowSink {
 public:
  struct Options {
    size_t memoryBudget = size_t{32} << 20;  ///< Bytes of lines kept in memory.
    std::string spillDirectory;  ///< Where the temporary file goes; empty for the system's.
    OutputFormat format = OutputFormat::kTsv;
    /// Where the last result goes as its rows come, in the formats that need no count or widths
    /// first (CSV and both JSON forms), once more than a buffer of them is there; null to keep
    /// every result until Write.
    std::ostream* out = nullptr;
  };

  QueryReport() : QueryReport(Options()) {}
  explicit QueryReport(Options options);

  bool BeginResult(const std::vector<std::string>& columns) override;
  bool BeginLastResult(const std::vector<std::string>& columns) override;
  bool AddRow(const CellView* cells, size_t count) override;
  bool PrefersJson() const override;

  /// Writes the report. As TSV: the "Executed in" line, the header line (only when there are
  /// columns) and one line per row, each row by its own number of cells, values as they are,
  /// unescaped. As CSV: the header record and a record per row. As JSON: an array of one object
  /// per row, keyed by the column names; JSON lines: one object per line. Either JSON form of SQL
  /// that gave no result with columns is the one object {"changes": <changedRows>}. As a table:
  /// the rows in box lines. Returns false when the rows kept in the temporary file could not be
  /// read back.
  bool Write(std::ostream& out, double elapsedMs, int64_t changedRows = 0);

  /// Why a row could not be kept, or the rows could not be read back.
  const std::string& error() const { return error_; }

 private:
  bool Spill();
  void AppendRecord(const CellView* cells, size_t count);
  bool WriteKept(std::ostream& out);
  bool ForEachKept(const std::function<void(std::string_view)>& take);
  bool WriteTable(std::ostream& out);
  void WriteHead(std::ostream& out);
  bool Pass();

  Options options_;
  bool hasResult_ = false;
  bool streaming_ = false;  ///< The last result goes to options_.out as it comes.
  bool headWritten_ = false;
  std::vector<std::string> columns_;
  std::vector<std::string> keys_;  ///< As JSON: each column's key, quoted, and a colon.
  TableShape table_;
  uint64_t tableRowsShown_ = 0;
  std::string lines_;  ///< Lines not yet written to `spill_`.
  uint64_t rowCount_ = 0;
  std::unique_ptr<SpillFile> spill_;
  std::string error_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_QUERY_REPORT_H_
