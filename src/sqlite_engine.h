#ifndef CORVENMARK_SQLITE_ENGINE_H_
#define CORVENMARK_SQLITE_ENGINE_H_

#include <string>

#include "corvenmark_engine.h"

namespace Corvenmark {

/// An engine over real SQLite files. Only `ExecuteQuery` may change a database, and only
/// `CreateSampleBenchmarkDb` creates one; every other operation opens its files read-only and
/// leaves them as they were. Failures travel in the result, never as exceptions.
class SqliteEngine {
 public:
  SqliteEngine() = delete;

  /// Runs every statement of `sql` in order on an existing database and reports the columns
  /// and rows of the last statement that returned columns.
  static QueryResult ExecuteQuery(const std::string& dbPath, const std::string& sql);
  /// Every table of the main schema but SQLite's own, in name order, with exact row counts.
  static SchemaResult InspectSchema(const std::string& dbPath);
  static DbDiagnostics AnalyzeDatabase(const std::string& dbPath);
  /// The whole table (or view) as CSV: a header of column names, then one record per row.
  static CsvExport ExportCsv(const std::string& dbPath, const std::string& table);
  /// Creates a new benchmark database; a path that already exists is an error.
  static SampleResult CreateSampleBenchmarkDb(const std::string& outPath);
  static SchemaDiff DiffDatabases(const std::string& firstPath, const std::string& secondPath);
};

}  // namespace Corvenmark

#endif  // CORVENMARK_SQLITE_ENGINE_H_
