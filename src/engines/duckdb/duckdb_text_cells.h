#ifndef CORVENMARK_DUCKDB_TEXT_CELLS_H_
#define CORVENMARK_DUCKDB_TEXT_CELLS_H_

#include <string>
#include <vector>

#include "engines/duckdb/duckdb_column_text.h"
#include "engines/duckdb/duckdb_database.h"
#include "engines/engine.h"

namespace Corvenmark {

/// Streams a result whose columns are all of the types that WritesOwnText accepts to `rows`:
/// its column names, then every row. Returns false when the result fails (with `error` set) or
/// `rows` stops it (`error` empty).
bool StreamResultDirectly(duckdb_result& result, RowSink& rows, std::string& error,
                          const std::vector<CellKind>& kinds = {}, bool last = false);

/// Streams DuckDB results of any types to a RowSink, every value as DuckDB's own text of it:
/// the text that CAST(value AS VARCHAR) gives. Columns of the types that WritesOwnText accepts
/// are written by the program; DuckDB casts the others. Each chunk of a result is handed,
/// through a table function, to a query that casts those columns to VARCHAR in a database in
/// memory of the program's own: a result's connection is busy until its last chunk is read, and
/// the user's SQL must never reach the function. That database takes on the settings that change
/// how a value reads (time zone and calendar) from the connection whose results it casts.
class DuckDbTextCells {
 public:
  DuckDbTextCells() = default;
  DuckDbTextCells(const DuckDbTextCells&) = delete;
  DuckDbTextCells& operator=(const DuckDbTextCells&) = delete;

  /// Takes on `source`'s time zone and calendar, as they are now. Call it before `source` runs
  /// a statement whose result is streamed, once earlier statements may have changed them.
  void FollowSettingsOf(duckdb_connection source);

  /// Reads `result` to its end: its column names to `rows.BeginResult`, then every row.
  /// Returns false when the result fails (with `error` set) or `rows` stops it (`error` empty).
  /// `last` when no later statement can give a result.
  bool Stream(duckdb_result& result, RowSink& rows, std::string& error, bool last);

 private:
  bool ReadyCaster(std::string& error);
  bool CastChunk(duckdb_prepared_statement cast, duckdb_data_chunk chunk, RowSink& rows,
                 std::string& error);

  static void Bind(duckdb_bind_info info) noexcept;
  static void Init(duckdb_init_info info) noexcept;
  static void Scan(duckdb_function_info info, duckdb_data_chunk output) noexcept;

  OpenedDuckDb caster_;                ///< Made when a result first needs a cast.
  std::vector<ColumnFormat> formats_;  ///< Of every column of the result being streamed.
  std::vector<size_t> castColumns_;    ///< The columns DuckDB casts, in order.
  std::vector<DuckDbType> castTypes_;  ///< Their types.
  bool casting_ = false;  ///< True while the cast is prepared: the one time the function binds.
  duckdb_data_chunk chunk_ = nullptr;  ///< The chunk being cast, which the table function yields.
  std::string timeZone_;  ///< As the results' connection has it; empty while it has its default.
  std::string calendar_;
  std::string castTimeZone_;  ///< As set on `caster_`; empty for its default.
  std::string castCalendar_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_TEXT_CELLS_H_
