#include "engines/duckdb/duckdb_engine.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <utility>
#include <vector>

#include "engines/duckdb/duckdb_catalog.h"
#include "engines/duckdb/duckdb_column_text.h"
#include "engines/duckdb/duckdb_copy.h"
#include "engines/duckdb/duckdb_database.h"
#include "engines/duckdb/duckdb_sample.h"
#include "engines/duckdb/duckdb_text_cells.h"
#include "engines/new_database.h"
#include "engines/statement_lines.h"
#include "engines/type_family.h"
#include "platform/ascii.h"
#include "platform/file_system.h"

namespace Corvenmark {
namespace {

std::string PrepareError(duckdb_prepared_statement statement) {
  return DuckDbError(DuckDb()->duckdb_prepare_error(statement));
}

// Runs a prepared statement with a result that is read chunk by chunk as it is made, so that
// no result is ever held whole.
bool ExecuteStreaming(duckdb_prepared_statement statement, DuckDbResult& result,
                      std::string& error) {
  const DuckDbApi& api = *DuckDb();
  duckdb_pending_result raw = nullptr;
  const duckdb_state started = api.duckdb_pending_prepared_streaming(statement, &raw);
  const DuckDbPending pending(raw);
  if (started != DuckDBSuccess) {
    error = DuckDbError(api.duckdb_pending_error(raw));
    return false;
  }
  if (api.duckdb_execute_pending(raw, result.get()) != DuckDBSuccess) {
    error = result.Error();
    return false;
  }
  return true;
}

// Prepares `sql` and runs it as ExecuteStreaming does.
bool QueryStreaming(duckdb_connection connection, const std::string& sql, DuckDbResult& result,
                    std::string& error) {
  duckdb_prepared_statement raw = nullptr;
  const duckdb_state prepared = DuckDb()->duckdb_prepare(connection, sql.c_str(), &raw);
  const DuckDbPrepared statement(raw);
  if (prepared != DuckDBSuccess) {
    error = PrepareError(raw);
    return false;
  }
  return ExecuteStreaming(raw, result, error);
}

bool IsChange(duckdb_statement_type type) {
  return type == DUCKDB_STATEMENT_TYPE_INSERT || type == DUCKDB_STATEMENT_TYPE_UPDATE ||
         type == DUCKDB_STATEMENT_TYPE_DELETE;
}

// Why a statement of this type is not run; null when it is.
const char* RefusedStatement(duckdb_statement_type type) {
  switch (type) {
    // INSTALL and LOAD. The locked configuration refuses them too, but with a message about
    // file system access.
    case DUCKDB_STATEMENT_TYPE_LOAD:
      return "extensions are not installed or loaded: DuckDB has those built into its library";
    // A PRAGMA that changes DuckDB's session, which it does around the locked configuration;
    // some print: enable_profiling on standard error, enable_progress_bar on standard output. A
    // PRAGMA that reads (table_info) is a SELECT by now.
    case DUCKDB_STATEMENT_TYPE_PRAGMA:
      return "PRAGMA statements that change DuckDB's settings are not run";
    default:
      return nullptr;
  }
}

// True for a statement that a database opened read-only runs as it would any other: one that
// only reads, or changes only the session, or that is refused before it runs. An EXPLAIN
// ANALYZE of a change, or a SELECT that advances a sequence, is of such a type, but writes.
bool WritesNothing(duckdb_statement_type type) {
  switch (type) {
    case DUCKDB_STATEMENT_TYPE_SELECT:
    case DUCKDB_STATEMENT_TYPE_EXPLAIN:
    case DUCKDB_STATEMENT_TYPE_SET:
    case DUCKDB_STATEMENT_TYPE_VARIABLE_SET:
    case DUCKDB_STATEMENT_TYPE_TRANSACTION:
      return true;
    default:
      return RefusedStatement(type) != nullptr;
  }
}

// The statements of `sql`, parsed on `connection`. None, with `error` empty, for a text that
// has none (empty SQL, a comment), which is no error.
idx_t ExtractStatements(duckdb_connection connection, const std::string& sql,
                        DuckDbExtracted& extracted, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  duckdb_extracted_statements raw = nullptr;
  const idx_t count = api.duckdb_extract_statements(connection, sql.c_str(), &raw);
  extracted.reset(raw);
  if (count == 0) {
    const char* message = api.duckdb_extract_statements_error(raw);
    if (message != nullptr && *message != '\0') error = DuckDbError(message);
  }
  return count;
}

// True when every statement of `sql` prepares on `connection`, whose database is open
// read-only, and writes nothing. A statement that needs an earlier one to have run (an INSERT
// into a table the text creates) does not prepare, and the text is not read-only anyway. The
// one statement of a text that has only one is kept in `sole`, to be run as it is: no earlier
// statement can have changed how it binds. A text that does not parse reads nothing either:
// running it reports why.
bool OnlyReads(duckdb_connection connection, const std::string& sql, DuckDbPrepared& sole) {
  const DuckDbApi& api = *DuckDb();
  DuckDbExtracted extracted;
  std::string unparsed;
  const idx_t count = ExtractStatements(connection, sql, extracted, unparsed);
  for (idx_t i = 0; i < count; ++i) {
    duckdb_prepared_statement raw = nullptr;
    const duckdb_state prepared =
        api.duckdb_prepare_extracted_statement(connection, extracted.get(), i, &raw);
    DuckDbPrepared statement(raw);
    if (prepared != DuckDBSuccess || !WritesNothing(api.duckdb_prepared_statement_type(raw))) {
      return false;
    }
    if (count == 1) sole = std::move(statement);
  }
  return true;
}

// Runs statement `i` of the `count` in `extracted`; a result with columns goes to `rows`. Fails
// with an empty message when `rows` stopped it.
bool RunStatement(duckdb_connection connection, duckdb_extracted_statements extracted, idx_t i,
                  idx_t count, DuckDbPrepared sole, DuckDbTextCells& cells, RowSink& rows,
                  QueryOutcome& outcome) {
  const DuckDbApi& api = *DuckDb();
  std::string& error = outcome.errorMessage;
  // The statements before this one may have changed how values read.
  if (i > 0) cells.FollowSettingsOf(connection);
  DuckDbPrepared statement = std::move(sole);
  if (!statement) {
    duckdb_prepared_statement raw = nullptr;
    const duckdb_state prepared =
        api.duckdb_prepare_extracted_statement(connection, extracted, i, &raw);
    statement.reset(raw);
    if (prepared != DuckDBSuccess) {
      error = PrepareError(raw);
      return false;
    }
  }
  if (const char* refused = RefusedStatement(api.duckdb_prepared_statement_type(statement.get()))) {
    error = refused;
    return false;
  }
  DuckDbResult result;
  if (!ExecuteStreaming(statement.get(), result, error)) return false;
  switch (api.duckdb_result_return_type(*result.get())) {
    case DUCKDB_RESULT_TYPE_QUERY_RESULT:
      return cells.Stream(*result.get(), rows, error, i + 1 == count);
    case DUCKDB_RESULT_TYPE_CHANGED_ROWS:
      // COPY ... TO reports the rows it wrote, which change nothing in the database.
      if (IsChange(api.duckdb_prepared_statement_type(statement.get()))) {
        outcome.changedRows += static_cast<int64_t>(api.duckdb_rows_changed(result.get()));
      }
      return true;
    default:  // a statement with no result of its own, such as CREATE or SET
      return true;
  }
}

// True when DuckDB parses `sql`, or finds no statement in it.
bool Parses(duckdb_connection connection, const std::string& sql) {
  DuckDbExtracted extracted;
  std::string error;
  return ExtractStatements(connection, sql, extracted, error) > 0 || error.empty();
}

// Where the statement that DuckDB could not parse starts among `starts`: DuckDB parses a text
// as a whole and names the line of the error, not of its statement. Every statement before the
// failing one parses, and none from it on, so the longest start of the text that parses ends
// where the failing statement starts. Its index, or starts.size() when every start parses.
size_t UnparsedStatement(duckdb_connection connection, const std::string& sql,
                         const std::vector<size_t>& starts) {
  size_t parses = 0;             // a start of the text up to starts[parses] parses
  size_t fails = starts.size();  // one up to starts[fails] does not, or the whole text fails
  while (fails - parses > 1) {
    const size_t middle = parses + (fails - parses) / 2;
    if (Parses(connection, sql.substr(0, starts[middle]))) {
      parses = middle;
    } else {
      fails = middle;
    }
  }
  return parses;
}

// `error`, of the statement `failed` of the `count` DuckDB found in `sql` (or of its parse, for a
// count of 0), led by the line that statement starts on when the text holds others. Left as it
// is when the statements found by their semicolons are not those DuckDB found, and for memory
// running out, which says the same whatever ran out of it.
std::string StatementError(duckdb_connection connection, const std::string& sql, idx_t failed,
                           idx_t count, const std::string& error) {
  if (error == kOutOfMemory) return error;
  const std::vector<size_t> starts = StatementStarts(sql, SqlDialect::kDuckDb);
  if (starts.size() < 2 || (count != 0 && starts.size() != count)) return error;
  const size_t index = count != 0 ? failed : UnparsedStatement(connection, sql, starts);
  return AtStatementLine(sql, starts[index], error);
}

// Runs the statements of `sql` one by one; a result with columns goes to `rows`. Fails with an
// empty message when `rows` stopped it.
bool RunStatements(duckdb_connection connection, const std::string& sql, DuckDbPrepared sole,
                   DuckDbTextCells& cells, RowSink& rows, QueryOutcome& outcome) {
  std::string& error = outcome.errorMessage;
  DuckDbExtracted extracted;
  const idx_t count = ExtractStatements(connection, sql, extracted, error);
  if (count == 0 && !error.empty()) error = StatementError(connection, sql, 0, 0, error);
  for (idx_t i = 0; i < count; ++i) {
    if (!RunStatement(connection, extracted.get(), i, count, std::move(sole), cells, rows,
                      outcome)) {
      if (!error.empty() && count > 1) error = StatementError(connection, sql, i, count, error);
      return false;
    }
  }
  return error.empty();
}

// A database opened for the user's SQL, and the statement of a read-only text of one
// statement, already prepared, which is destroyed before the database.
struct QuerySession {
  OpenedDuckDb opened;
  DuckDbPrepared sole;
};

// Opens the database for the user's `sql`: read-only when every statement only reads, so that
// a file the user may only read can be queried and several such queries can read one file at
// once; read-write otherwise.
void OpenForQuery(const std::string& dbPath, const std::string& sql, QuerySession& session) {
  session.opened = OpenDuckDb(dbPath, DuckDbOpenMode::kReadOnly, DuckDbSql::kUser);
  if (!session.opened.database || OnlyReads(session.opened.connection.get(), sql, session.sole)) {
    return;
  }
  session.opened = OpenedDuckDb();
  session.opened = OpenDuckDb(dbPath, DuckDbOpenMode::kReadWrite, DuckDbSql::kUser);
}

// Rolls back a transaction that the statements left open. Empty when there was none; DuckDB
// refuses a ROLLBACK outside a transaction, and has no other way to ask. Any other failure is the
// connection's: a log that the SQL sends to a file that cannot be written fails every statement
// after it.
std::string EndOpenTransaction(duckdb_connection connection) {
  DuckDbResult result;
  if (DuckDb()->duckdb_query(connection, "ROLLBACK", result.get()) == DuckDBSuccess) {
    return kOpenTransaction;
  }
  if (DuckDb()->duckdb_result_error_type(result.get()) == DUCKDB_ERROR_TRANSACTION) return "";
  return result.Error();
}

// A statement that failed as DuckDB began it (writing its log, for one) leaves it begun, and
// closing the connection would then end it where a failure cannot be returned and ends the
// process. Preparing another statement ends it where the failure can be returned.
void EndQueryLeftBegun(duckdb_connection connection) {
  duckdb_prepared_statement raw = nullptr;
  DuckDb()->duckdb_prepare(connection, "SELECT 1", &raw);
  const DuckDbPrepared statement(raw);
}

// Reads every row of every table, so that DuckDB reads, and checks the checksum of, every block
// that holds them. False, with `error` set, at the first block that fails.
bool ReadEveryBlock(duckdb_connection connection, std::string& error) {
  std::vector<CatalogTable> tables;
  if (!ReadCatalogTables(connection, false, tables, error)) return false;
  const DuckDbApi& api = *DuckDb();
  for (const CatalogTable& table : tables) {
    DuckDbResult result;
    if (!QueryStreaming(connection, "SELECT * FROM " + QualifiedName(table), result, error)) {
      return false;
    }
    while (DuckDbChunk(api.duckdb_fetch_chunk(*result.get()))) {
    }
    if (const char* failure = api.duckdb_result_error(result.get())) {
      error = DuckDbError(failure);
      return false;
    }
  }
  return true;
}

bool ReadStorage(duckdb_connection connection, DbDiagnostics& diagnostics, std::string& error) {
  bool found = false;
  const bool read = ForEachTextRow(
      connection,
      "SELECT CAST(block_size AS VARCHAR), CAST(total_blocks AS VARCHAR), "
      "CAST(free_blocks AS VARCHAR) FROM system.main.pragma_database_size() "
      "WHERE database_name = system.main.current_database()",
      [&](const CellView* cells) {
        found = ReadInteger(cells[0], diagnostics.pageSize) &&
                ReadInteger(cells[1], diagnostics.pageCount) &&
                ReadInteger(cells[2], diagnostics.freelistCount);
      },
      error);
  if (read && !found) error = "DuckDB reported no storage for the database";
  return read && found;
}

// The query that reads `table` for export: every column the program cannot write itself is cast
// to VARCHAR by DuckDB as it scans them, under the column's own name.
bool ExportSql(duckdb_connection connection, const CatalogTable& table, const RowSink& rows,
               std::string& sql, std::vector<CellKind>& kinds, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  duckdb_prepared_statement raw = nullptr;
  const std::string all = "SELECT * FROM " + QualifiedName(table);
  const duckdb_state prepared = api.duckdb_prepare(connection, all.c_str(), &raw);
  const DuckDbPrepared statement(raw);
  if (prepared != DuckDBSuccess) {
    error = PrepareError(raw);
    return false;
  }
  sql = "SELECT ";
  for (idx_t column = 0; column < api.duckdb_prepared_statement_column_count(raw); ++column) {
    // DuckDB hands the name over to be freed, though it types it as const.
    const char* name = api.duckdb_prepared_statement_column_name(raw, column);
    const std::string quoted = QuotedIdentifier(name != nullptr ? name : "");
    api.duckdb_free(const_cast<char*>(name));
    if (column > 0) sql += ", ";
    const duckdb_type type = api.duckdb_prepared_statement_column_type(raw, column);
    kinds.push_back(CellKind::kText);
    if (WritesOwnText(type) || (type == DUCKDB_TYPE_BLOB && rows.WantsNativeValues())) {
      kinds.back() = KindOf(type);
      sql += quoted;
    } else if (IsNested(type) && rows.PrefersJson()) {
      kinds.back() = CellKind::kJson;
      sql += "CAST(system.main.to_json(" + quoted + ") AS VARCHAR) AS " + quoted;
    } else {
      sql += "CAST(" + quoted + " AS VARCHAR) AS " + quoted;
    }
  }
  sql += " FROM " + QualifiedName(table);
  return true;
}

}  // namespace

std::string DuckDbEngine::WhyUnavailable() { return DuckDbLoadError(); }

namespace {

// Runs the user's `sql` on the database the session opened.
QueryOutcome RunInSession(QuerySession& session, const std::string& sql, RowSink& rows) {
  const OpenedDuckDb& opened = session.opened;
  if (!opened.database) return Failure<QueryOutcome>(opened.errorMessage);
  QueryOutcome outcome;
  DuckDbTextCells cells;

  const auto start = std::chrono::steady_clock::now();
  outcome.success =
      RunStatements(opened.connection.get(), sql, std::move(session.sole), cells, rows, outcome);
  const auto stop = std::chrono::steady_clock::now();
  if (outcome.success) outcome.errorMessage = EndOpenTransaction(opened.connection.get());
  EndQueryLeftBegun(opened.connection.get());
  if (!outcome.success || !outcome.errorMessage.empty()) {
    return Failure<QueryOutcome>(outcome.errorMessage);
  }
  outcome.elapsedMs = std::chrono::duration<double, std::milli>(stop - start).count();
  return outcome;
}

}  // namespace

QueryOutcome DuckDbEngine::RunQuery(const std::string& dbPath, const std::string& sql,
                                    RowSink& rows) {
  QuerySession session;
  OpenForQuery(dbPath, sql, session);
  return RunInSession(session, sql, rows);
}

namespace {

// A database opened read-only. DuckDB shares a file with other readers only, so that nothing
// changes it while it is open: every read is of one state.
class DuckDbSnapshot : public Database {
 public:
  DuckDbSnapshot(OpenedDuckDb opened, std::string catalog)
      : opened_(std::move(opened)), catalog_(std::move(catalog)) {}

  SchemaResult ReadCatalog(bool countRows) override {
    SchemaResult schema = ReadSchema(connection(), countRows);
    if (!schema.success) return Failure<SchemaResult>(schema.errorMessage);
    return schema;
  }
  bool ReadsRows() const override { return true; }
  bool Analyzes() const override { return true; }

  bool FindTable(const std::string& requested, TableMeta& table, std::string& error) override {
    std::vector<CatalogTable> tables;
    if (!ReadCatalogTables(connection(), true, tables, error)) return false;
    const CatalogTable* found = Corvenmark::FindTable(tables, requested);
    if (found == nullptr) {
      error = "no such table: " + requested;
      return false;
    }
    table = TableMeta();
    table.name = found->shownName;
    table.schema = found->schema == "main" ? "" : found->schema;
    table.ownName = found->name;
    return true;
  }

  Outcome ReadRows(const TableMeta& table, RowSink& rows, RowOrder order) override {
    assert(!table.ownName.empty());
    const CatalogTable named{catalog_, table.schema.empty() ? "main" : table.schema,
                             table.ownName, "", table.name};
    Outcome outcome;
    std::string sql;
    std::vector<CellKind> kinds;
    if (!ExportSql(connection(), named, rows, sql, kinds, outcome.errorMessage)) return outcome;
    if (order == RowOrder::kByPrimaryKey) sql += OrderByColumns(table.primaryKey);
    DuckDbResult result;
    outcome.success = QueryStreaming(connection(), sql, result, outcome.errorMessage) &&
                      StreamResultDirectly(*result.get(), rows, outcome.errorMessage, kinds, true);
    return outcome;
  }

  DbDiagnostics Analyze() override {
    DbDiagnostics diagnostics;
    // DuckDB writes every change to its write-ahead log before it reaches the database file.
    diagnostics.journalMode = "wal";
    std::string error;
    if (!ReadStorage(connection(), diagnostics, error)) return Failure<DbDiagnostics>(error);
    diagnostics.integrityOk = ReadEveryBlock(connection(), error);
    diagnostics.integrityChecked = diagnostics.integrityOk || !IsSilentOnTheData(error);
    if (!diagnostics.integrityChecked) diagnostics.integrityUnchecked = error;
    diagnostics.success = true;
    return diagnostics;
  }

 private:
  duckdb_connection connection() const { return opened_.connection.get(); }

  OpenedDuckDb opened_;
  std::string catalog_;  ///< The name DuckDB gives the opened file's catalog.
};

}  // namespace

std::unique_ptr<Database> DuckDbEngine::Open(const std::string& dbPath, std::string& error) {
  OpenedDuckDb opened = OpenDuckDb(dbPath, DuckDbOpenMode::kReadOnly);
  if (!opened.database) {
    error = opened.errorMessage;
    return nullptr;
  }
  std::string catalog;
  if (!ForEachTextRow(
          opened.connection.get(), "SELECT system.main.current_database()",
          [&](const CellView* cells) { catalog = cells[0].text; }, error)) {
    return nullptr;
  }
  return std::make_unique<DuckDbSnapshot>(std::move(opened), std::move(catalog));
}

SampleResult DuckDbEngine::CreateSampleBenchmarkDb(const std::string& outPath) {
  return CreateDuckDbSampleDatabase(outPath);
}

bool IsSilentOnTheData(const std::string& error) {
  if (error.find("Corrupt") != std::string::npos || error.find("checksum") != std::string::npos) {
    return false;
  }
  for (const char* kind : {"IO Error:", "Out of Memory Error:", "INTERRUPT Error:"}) {
    if (error.rfind(kind, 0) == 0) return true;
  }
  return false;
}

namespace {

bool HasDuckDbName(const std::string& path) {
  return EndsWithIgnoringAsciiCase(path, ".duckdb") || EndsWithIgnoringAsciiCase(path, ".ddb");
}

}  // namespace

namespace {

// True when the database at `path` holds a table, a view, a sequence, a schema of its own, a
// macro or a type; false, with `error` set when it cannot be read.
bool HoldsAnObject(const std::string& path, std::string& error) {
  const OpenedDuckDb opened = OpenDuckDb(path, DuckDbOpenMode::kReadOnly);
  if (!opened.database) {
    error = opened.errorMessage;
    return false;
  }
  static const char kObjects[] =
      "SELECT CAST((SELECT count(*) FROM duckdb_tables() WHERE database_name = current_database())"
      " + (SELECT count(*) FROM duckdb_views() WHERE database_name = current_database() AND NOT"
      " internal) + (SELECT count(*) FROM duckdb_sequences() WHERE database_name ="
      " current_database()) + (SELECT count(*) FROM duckdb_schemas() WHERE database_name ="
      " current_database() AND NOT internal AND schema_name <> 'main') + (SELECT count(*) FROM"
      " duckdb_functions() WHERE database_name = current_database() AND NOT internal) + (SELECT"
      " count(*) FROM duckdb_types() WHERE database_name = current_database() AND NOT internal)"
      " AS VARCHAR)";
  int64_t objects = 0;
  const bool read = ForEachTextRow(
      opened.connection.get(), kObjects,
      [&](const CellView* cells) { ReadInteger(cells[0], objects); }, error);
  return read && objects > 0;
}

}  // namespace

// The SQL runs on a database DuckDB creates under the temporary name, checkpointed before it is
// closed so that everything is in the file itself; one that holds no object of the catalog
// afterwards was only read.
QueryOutcome DuckDbEngine::QueryNewDatabase(const std::string& path, const std::string& sql,
                                            RowSink& rows) {
  QueryOutcome outcome;
  const auto fill = [&](const std::string& building, const std::string& shown, std::string& error) {
    {
      QuerySession session;
      session.opened = OpenDuckDb(building, DuckDbOpenMode::kCreate, DuckDbSql::kUser);
      outcome = RunInSession(session, sql, rows);
      DuckDbResult checkpoint;
      if (outcome.success && DuckDb()->duckdb_query(session.opened.connection.get(), "CHECKPOINT",
                                                    checkpoint.get()) != DuckDBSuccess) {
        outcome = Failure<QueryOutcome>(checkpoint.Error());
      }
    }
    if (outcome.success && PathExists(building + ".wal")) {
      outcome = Failure<QueryOutcome>("the database could not be completed: " + shown);
    }
    if (outcome.success) {
      std::string unread;
      if (!HoldsAnObject(building, unread)) {
        outcome = Failure<QueryOutcome>(unread.empty() ? kNothingWritten : unread);
      }
    }
    error = outcome.errorMessage;
    return outcome.success;
  };
  const SampleResult made = CreateNewDatabase(
      path, {fill, true, {".wal"}, [](const std::string& built, std::string& error) {
               return OpensAndLists(DuckDbEngine::Open, built, error);
             }});
  if (!made.success && outcome.success) outcome = Failure<QueryOutcome>(made.errorMessage);
  outcome.createdFile = made.createdFile;
  return outcome;
}

const Engine kDuckDbEngine = {
    "duckdb",
    "DuckDB",
    HasDuckDbMagic,
    nullptr,  // its locations are files
    HasDuckDbName,
    DuckDbEngine::WhyUnavailable,
    [] {
      const std::string version = DuckDb()->duckdb_library_version();
      return version.substr(version[0] == 'v' ? 1 : 0);
    },
    DuckDbEngine::RunQuery,
    DuckDbEngine::Open,
    DuckDbEngine::CreateSampleBenchmarkDb,
    CopyIntoDuckDb,
    DuckDbTypeFamily,
    DuckDbEngine::QueryNewDatabase,
};

}  // namespace Corvenmark
