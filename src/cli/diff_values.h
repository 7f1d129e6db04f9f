#ifndef CORVENMARK_DIFF_VALUES_H_
#define CORVENMARK_DIFF_VALUES_H_

// How a data diff compares two values and writes one down. Within one database format a value
// is its kind and its bytes: 1, 1.0 and '1' are three values. Across formats a value is what a
// copy between them writes: a boolean is the integer 1 or 0, an exact decimal, a date, a time
// or an integer beyond 64 bits is its text, NaN is the text 'NaN', and an integer equals the
// double that is exactly it; in a column that a copy makes text, or a BLOB, each value is its
// text, or its bytes. Doubles compare bit for bit: -0.0 and 0.0 differ, and every NaN
// is the same value.

#include <string>

#include "engines/engine.h"

namespace Corvenmark {

enum class ValueRules {
  kOneFormat,
  kAcrossFormats,
  /// Across formats, in a column that is text on one side only: a copy into the text side
  /// writes each value as its text, so every value but a BLOB compares as its text.
  kAcrossAsText,
  /// Across formats, in a column that is a BLOB on a side whose columns hold values of their
  /// type only (DuckDB): a copy into it keeps each value as bytes, so every value compares as
  /// the bytes of its text.
  kAcrossAsBytes,
};

/// The SQL that a literal is written for.
enum class SqlDialect { kSqlite, kDuckDb };

/// Orders two values: NULL first, then numbers by value, then text, then BLOBs, each by its
/// bytes. Zero exactly when the two are the same value by `rules`. Within one format values of
/// equal number but different kinds are ordered by kind.
int CompareValues(const CellView& first, const CellView& second, ValueRules rules);

/// True when the two are the same value by `rules`.
inline bool SameValue(const CellView& first, const CellView& second, ValueRules rules) {
  if (first.isNull || second.isNull) return first.isNull == second.isNull;
  if (first.kind == second.kind && first.text == second.text) return true;
  return CompareValues(first, second, rules) == 0;
}

/// `cell` as an SQL literal of `dialect` that gives back the same value: NULL, 42, 1.5,
/// 'it''s', X'00FF'. A double is written with 17 significant digits; `acrossFormats` writes a
/// value of the other format as a copy into `dialect`'s format would hold it.
std::string SqlLiteral(const CellView& cell, SqlDialect dialect, bool acrossFormats);

/// `cell` as the reports write a value: SQLite's literal of it, with a double in its shortest
/// text, so that NULL, '' and a text holding " -> " stay apart.
std::string ReportLiteral(const CellView& cell);

}  // namespace Corvenmark

#endif  // CORVENMARK_DIFF_VALUES_H_
