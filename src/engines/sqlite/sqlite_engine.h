#ifndef CORVENMARK_SQLITE_ENGINE_H_
#define CORVENMARK_SQLITE_ENGINE_H_

#include <memory>
#include <string>
#include <string_view>

#include "engines/engine.h"

namespace Corvenmark {

/// An engine over real SQLite files. Only `RunQuery` and `QueryNewDatabase` may change a
/// database, and only `CreateSampleBenchmarkDb` and `QueryNewDatabase` create one; every other
/// operation opens its files read-only and leaves them as they were. Failures travel in the result, never as exceptions.
class SqliteEngine {
 public:
  SqliteEngine() = delete;

  /// Runs every statement of `sql` in order on an existing database. SQL that leaves a
  /// transaction open fails, and the transaction is rolled back.
  static QueryOutcome RunQuery(const std::string& dbPath, const std::string& sql, RowSink& rows);
  /// RunQuery on a new database made at `path` for it; see Engine::queryNewDatabase.
  static QueryOutcome QueryNewDatabase(const std::string& path, const std::string& sql,
                                       RowSink& rows);
  /// Creates a new benchmark database; a path that already exists is an error.
  static SampleResult CreateSampleBenchmarkDb(const std::string& outPath);
};

/// Opens an existing database read-only, in one read transaction until it is destroyed. Its
/// catalog holds every table of the main schema but SQLite's own, in name order; a table that
/// cannot be read (a virtual table whose module this program lacks) is listed with no columns
/// and a row count of -1, so that it does not hide the rest of the schema. FindTable matches a
/// table or view as SQLite matches names, the exact spelling first.
std::unique_ptr<Database> OpenSqliteSnapshot(const std::string& dbPath, std::string& error);

/// True when the database at `path` opens and lists as SQLite's; why not in `error` otherwise.
inline bool ListsAsSqlite(const std::string& path, std::string& error) {
  return OpensAndLists(OpenSqliteSnapshot, path, error);
}

/// True when `firstBytes` begin with SQLite's header string "SQLite format 3" and its
/// terminating zero byte.
bool HasSqliteHeader(std::string_view firstBytes);

/// The engine of SQLite files, and of every new file that no other engine claims.
extern const Engine kSqliteEngine;

}  // namespace Corvenmark

#endif  // CORVENMARK_SQLITE_ENGINE_H_
