#ifndef CORVENMARK_SQLITE_ENGINE_H_
#define CORVENMARK_SQLITE_ENGINE_H_

#include <string>
#include <string_view>

#include "engines/engine.h"

namespace Corvenmark {

/// An engine over real SQLite files. Only `RunQuery` may change a database, and only
/// `CreateSampleBenchmarkDb` creates one; every other operation opens its files read-only and
/// leaves them as they were. Failures travel in the result, never as exceptions.
class SqliteEngine {
 public:
  SqliteEngine() = delete;

  /// Runs every statement of `sql` in order on an existing database. SQL that leaves a
  /// transaction open fails, and the transaction is rolled back.
  static QueryOutcome RunQuery(const std::string& dbPath, const std::string& sql, RowSink& rows);
  /// Every table of the main schema but SQLite's own, in name order. A table that cannot be
  /// read (a virtual table whose module this program lacks) is listed with no columns and a
  /// row count of -1, so that it does not hide the rest of the schema.
  static SchemaResult InspectSchema(const std::string& dbPath, bool countRows);
  static DbDiagnostics AnalyzeDatabase(const std::string& dbPath);
  /// The whole table (or view), matched as SQLite matches names.
  static Outcome ExportTable(const std::string& dbPath, const std::string& table, RowSink& rows);
  /// Creates a new benchmark database; a path that already exists is an error.
  static SampleResult CreateSampleBenchmarkDb(const std::string& outPath);
};

/// True when `firstBytes` begin with SQLite's header string "SQLite format 3" and its
/// terminating zero byte.
bool HasSqliteHeader(std::string_view firstBytes);

/// The engine of SQLite files, and of every new file that no other engine claims.
extern const Engine kSqliteEngine;

}  // namespace Corvenmark

#endif  // CORVENMARK_SQLITE_ENGINE_H_
