#ifndef CORVENMARK_DUCKDB_ENGINE_H_
#define CORVENMARK_DUCKDB_ENGINE_H_

#include <memory>
#include <string>

#include "engines/engine.h"

namespace Corvenmark {

/// An engine over DuckDB files, through the DuckDB library that the program loads when this
/// engine is first used. Only `RunQuery` and `QueryNewDatabase` may change a database, or run
/// the user's SQL, and only `CreateSampleBenchmarkDb` and `QueryNewDatabase` create one; every
/// other operation runs only the program's own SQL, sealed (DuckDbSql::kProgram), opens its
/// file read-only and leaves it, its write-ahead log and their directory as they were. Failures
/// travel in the result, never as exceptions.
class DuckDbEngine {
 public:
  DuckDbEngine() = delete;

  /// Empty when the library is loaded; otherwise why it could not be.
  static std::string WhyUnavailable();
  /// Runs every statement of `sql` in order on an existing database, with DuckDB's own powers
  /// (DuckDbSql::kUser): read-only when every statement only reads, read-write otherwise. SQL
  /// that leaves a transaction open fails, and the transaction is rolled back.
  static QueryOutcome RunQuery(const std::string& dbPath, const std::string& sql, RowSink& rows);
  /// RunQuery on a new database made at `path` for it; see Engine::queryNewDatabase.
  static QueryOutcome QueryNewDatabase(const std::string& path, const std::string& sql,
                                       RowSink& rows);
  /// Opens an existing database read-only, for the program's own SQL. Its catalog holds every
  /// base table, in byte order of its shown name: a table of the main schema by its own name,
  /// any other as "schema.table". Its diagnostics count DuckDB's blocks as pages; the integrity
  /// check reads every block of every table, and DuckDB checks each block's checksum as it
  /// reads it. FindTable matches a table or view by the name the listing shows, as DuckDB
  /// matches names: the exact spelling first, then ignoring ASCII case; within each, another
  /// schema's table before a table of main, so that "a.b" is schema a's table b.
  static std::unique_ptr<Database> Open(const std::string& dbPath, std::string& error);
  /// Creates a new database of the sample rows; a path that already exists is an error.
  static SampleResult CreateSampleBenchmarkDb(const std::string& outPath);
};

/// True when DuckDB's `error`, from reading a database, says nothing of the data in it: memory ran
/// out, a read failed, the read was interrupted. DuckDB reports a block whose checksum does not
/// match as an I/O error too, but in words of its own that name the corruption.
bool IsSilentOnTheData(const std::string& error);

/// The engine of DuckDB files, and of new files named "*.duckdb" or "*.ddb" in any ASCII case.
extern const Engine kDuckDbEngine;

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_ENGINE_H_
