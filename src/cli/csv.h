#ifndef CORVENMARK_CSV_H_
#define CORVENMARK_CSV_H_

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine.h"

namespace Corvenmark {

/// Appends one CSV field. A field that holds a comma, a double quote, a carriage return or a
/// line feed is enclosed in double quotes with its inner quotes doubled. An empty text is
/// written as "" and a null as nothing, so that the two stay apart and a record of one empty
/// field is never a blank line. Any other field is appended as it is.
void AppendCsvField(std::string& out, const CellView& field);

/// Appends the cells as one CSV record, ended by the platform's line end.
void AppendCsvRecord(std::string& out, const CellView* cells, size_t count);
void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields);

/// Writes a table as CSV while its rows arrive: a header record of the column names, then one
/// record per row, each ended by a line feed. Records are kept in a buffer of bounded size and
/// written whole, so the output always ends after a complete record.
class CsvWriter : public RowSink {
 public:
  explicit CsvWriter(std::ostream& out, size_t bufferBytes = size_t{1} << 20);

  bool BeginResult(const std::vector<std::string>& columns) override;
  bool AddRow(const CellView* cells, size_t count) override;

  /// Writes what is still buffered. Returns false when the output failed.
  bool Finish();
  /// True once a row, not only the header, has been read.
  bool HasRows() const { return rows_ > 0; }

 private:
  bool Flush();

  std::ostream& out_;
  size_t bufferBytes_;
  std::string buffer_;
  size_t rows_ = 0;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_CSV_H_
