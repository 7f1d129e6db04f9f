#ifndef CORVENMARK_DUCKDB_DATABASE_H_
#define CORVENMARK_DUCKDB_DATABASE_H_

// Opening DuckDB files and the handles that close what DuckDB opens. Every call goes through
// the loaded library's table of functions, DuckDb(), which must be loaded before any of these
// is used.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "engines/duckdb/duckdb_api.h"
#include "engines/engine.h"
#include "engines/sql_text.h"
#include "platform/held_file.h"

namespace Corvenmark {

/// True when `firstBytes` hold DuckDB's magic "DUCK" at offset 8, after the checksum of the
/// first header block.
bool HasDuckDbMagic(std::string_view firstBytes);

// Each handle is a pointer to a struct of DuckDB's; its deleter hands its address to the
// matching destroy function.
#define CORVENMARK_DUCKDB_HANDLE(Name, type, destroy)                  \
  struct Name##Deleter {                                               \
    void operator()(type handle) const { DuckDb()->destroy(&handle); } \
  };                                                                   \
  using Name = std::unique_ptr<std::remove_pointer_t<type>, Name##Deleter>;

CORVENMARK_DUCKDB_HANDLE(DuckDbDatabase, duckdb_database, duckdb_close)
CORVENMARK_DUCKDB_HANDLE(DuckDbConnection, duckdb_connection, duckdb_disconnect)
CORVENMARK_DUCKDB_HANDLE(DuckDbConfig, duckdb_config, duckdb_destroy_config)
CORVENMARK_DUCKDB_HANDLE(DuckDbPrepared, duckdb_prepared_statement, duckdb_destroy_prepare)
CORVENMARK_DUCKDB_HANDLE(DuckDbExtracted, duckdb_extracted_statements, duckdb_destroy_extracted)
CORVENMARK_DUCKDB_HANDLE(DuckDbPending, duckdb_pending_result, duckdb_destroy_pending)
CORVENMARK_DUCKDB_HANDLE(DuckDbChunk, duckdb_data_chunk, duckdb_destroy_data_chunk)
CORVENMARK_DUCKDB_HANDLE(DuckDbType, duckdb_logical_type, duckdb_destroy_logical_type)
CORVENMARK_DUCKDB_HANDLE(DuckDbErrorData, duckdb_error_data, duckdb_destroy_error_data)
CORVENMARK_DUCKDB_HANDLE(DuckDbAppender, duckdb_appender, duckdb_appender_destroy)
#undef CORVENMARK_DUCKDB_HANDLE

/// A result, destroyed with its owner. DuckDB fills it even when a query fails, to carry the
/// error, so it is destroyed either way.
class DuckDbResult {
 public:
  DuckDbResult() = default;
  ~DuckDbResult() { DuckDb()->duckdb_destroy_result(&result_); }
  DuckDbResult(const DuckDbResult&) = delete;
  DuckDbResult& operator=(const DuckDbResult&) = delete;

  duckdb_result* get() { return &result_; }
  /// DuckDB's message for a failed result; kOutOfMemory for any failure for want of memory.
  std::string Error();

 private:
  duckdb_result result_ = {};
};

enum class DuckDbOpenMode {
  kReadOnly,   ///< An existing database, which nothing is written to.
  kReadWrite,  ///< An existing database.
  kCreate,     ///< A new database, at a path where nothing exists.
};

/// Whose SQL a database runs, which decides what DuckDB may do there.
enum class DuckDbSql {
  /// The program's own only (catalog reads, counts, exports, the sample): sealed. DuckDB runs on
  /// one thread within kDuckDbMemoryLimit and reads and writes no file but the database and its
  /// log; its settings are locked but for the time zone and calendar.
  kProgram,
  /// The SQL of --query: DuckDB's own threads and memory limit, files that the SQL names read
  /// and written, a spill directory beside the database (<file>.tmp); its settings locked but
  /// for those a query may tune.
  kUser,
};

/// A database file opened for one command and the connection that the command's statements run
/// on, closed in the right order.
struct OpenedDuckDb {
  /// The database file as the program checked it, held open until DuckDB has closed it: a
  /// process that closes any of its handles of a file gives up every lock it holds on it,
  /// DuckDB's among them.
  std::unique_ptr<HeldFile> held;
  DuckDbDatabase database;
  DuckDbConnection connection;
  std::string errorMessage;  ///< Why the database could not be opened; set when it is null.
};

/// The most memory DuckDB takes for its blocks and its operators' state, in any command.
inline constexpr char kDuckDbMemoryLimit[] = "128MiB";

/// Opens the database at `path`, as the user named it, for `sql`. DuckDB would create a file
/// that is missing and make a database of an empty one, so a path that must exist is checked
/// first, and held while DuckDB opens it: one that is not a regular file, or whose log is not,
/// fails with "<path>: not a regular file", one that cannot be read, or that was moved away
/// before DuckDB opened it, with "unable to open database file: <path>", one whose first bytes
/// are not DuckDB's with "file is not a DuckDB database: <path>".
///
/// Whoever's SQL runs, no extension is ever installed or loaded beyond those built into the
/// library, no secret is stored, no progress bar is drawn and nothing is written under the home
/// directory.
OpenedDuckDb OpenDuckDb(const std::string& path, DuckDbOpenMode mode,
                        DuckDbSql sql = DuckDbSql::kProgram);

/// A new database in memory for the program's own SQL, sealed as for DuckDbSql::kProgram.
OpenedDuckDb OpenPrivateDuckDb();

/// The text of an error message from DuckDB, "unknown DuckDB error" for none. DuckDB gives the
/// kind of an error only with a result's (DuckDbResult::Error) or an appender's.
std::string DuckDbError(const char* message);

/// Runs `sql` and passes each row of its result to `row`; every column of the result must be
/// VARCHAR (cast in the SQL). Returns false with `error` set when the query fails.
bool ForEachTextRow(duckdb_connection connection, const char* sql,
                    const std::function<void(const CellView* cells)>& row, std::string& error);

/// Reads the whole of `cell` as a decimal integer; false for a null, an empty text, anything else
/// or a number out of range.
bool ReadInteger(const CellView& cell, int64_t& value);

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_DATABASE_H_
