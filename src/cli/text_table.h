#ifndef CORVENMARK_TEXT_TABLE_H_
#define CORVENMARK_TEXT_TABLE_H_

// The aligned table of "--format table", for people: box lines, a header, columns as wide as
// their widest cell, numbers to the right.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine.h"

namespace Corvenmark {

/// The widest a cell is shown, in characters; a longer one is cut and ends with "…".
constexpr size_t kTableCellWidth = 40;

/// Appends a cell as the table shows it, and returns its width in characters (code points):
/// NULL as "NULL"; control characters as visible escapes (\n, \r, \t, \xHH), so that a cell
/// stays on its line; each byte that is not UTF-8 as U+FFFD; cut to kTableCellWidth.
size_t AppendTableCell(std::string& out, const CellView& cell);

/// The shape of a table being written: its columns, their widths and alignment.
struct TableShape {
  std::vector<std::string> headers;  ///< Already as AppendTableCell shows them.
  std::vector<size_t> widths;        ///< In characters, at least the header's.
  std::vector<bool> numeric;         ///< No value of the column is anything but a number or NULL.
  std::vector<bool> anyNumber;       ///< Some value is a number: with `numeric`, right-aligned.
};

/// Writes the top border and the header.
void WriteTableTop(std::ostream& out, const TableShape& shape);

/// Writes one row of cells as AppendTableCell showed them, separated by tabs, which no shown
/// cell holds.
void WriteTableRow(std::ostream& out, const TableShape& shape, std::string_view cells);

/// Writes the bottom border and a line counting the rows: "(3 rows)", or with rows left out,
/// "(10000 rows, the first 1000 shown)".
void WriteTableBottom(std::ostream& out, const TableShape& shape, uint64_t rows, uint64_t shown);

}  // namespace Corvenmark

#endif  // CORVENMARK_TEXT_TABLE_H_
