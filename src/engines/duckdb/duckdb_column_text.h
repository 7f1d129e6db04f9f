#ifndef CORVENMARK_DUCKDB_COLUMN_TEXT_H_
#define CORVENMARK_DUCKDB_COLUMN_TEXT_H_

#include <cstddef>
#include <cstdint>

#include "engines/duckdb/duckdb_api.h"
#include "engines/engine.h"

namespace Corvenmark {

/// How the values of one column of a result are written as text.
struct ColumnFormat {
  duckdb_type type = DUCKDB_TYPE_VARCHAR;
  duckdb_type storage = DUCKDB_TYPE_VARCHAR;  ///< How a DECIMAL holds its values.
  uint8_t width = 0;                          ///< Digits of a DECIMAL.
  uint8_t scale = 0;                          ///< Digits after a DECIMAL's point.
  CellKind kind = CellKind::kText;            ///< Of the column's own type, cast or not.
};

/// True for the types whose text the program writes itself, the text that DuckDB's
/// CAST(value AS VARCHAR) gives: VARCHAR, BOOLEAN, the integers, DECIMAL and DOUBLE.
/// DuckDB's own cast is slow for some of them (a wide DECIMAL most of all) and needs a second
/// pass over the rows, and a database of its own, for all of them; every other type is cast to
/// VARCHAR by DuckDB.
bool WritesOwnText(duckdb_type type);

/// The kind of the values of a column of `type`.
CellKind KindOf(duckdb_type type);

/// True for the types whose values hold others: lists, structs, maps and arrays.
bool IsNested(duckdb_type type);

/// The format of a column of `type`, which WritesOwnText accepts.
ColumnFormat FormatOf(duckdb_logical_type type);

/// The cells of one column of a chunk, as text.
class ColumnText {
 public:
  /// `rowOffset` is added to every row asked for.
  ColumnText(duckdb_vector vector, const ColumnFormat& format, size_t rowOffset = 0);

  /// The cell of `row`; its text is valid until the next call, or as long as the chunk for
  /// VARCHAR.
  CellView Cell(size_t row);

 private:
  CellView Text(size_t row);

  ColumnFormat format_;
  void* data_;
  const uint64_t* validity_;  ///< Null when every value is valid.
  size_t rowOffset_;
  char buffer_[48];  ///< Room for any integer of 128 bits, its sign and a decimal point.
};

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_COLUMN_TEXT_H_
