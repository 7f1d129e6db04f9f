#include "duckdb_engine.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "duckdb_catalog.h"
#include "duckdb_column_text.h"
#include "duckdb_database.h"
#include "duckdb_sample.h"
#include "duckdb_text_cells.h"

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

// Runs the statements of `sql` one by one; a result with columns goes to `rows`. Fails with an
// empty message when `rows` stopped it.
bool RunStatements(duckdb_connection connection, const std::string& sql, DuckDbTextCells& cells,
                   RowSink& rows, QueryOutcome& outcome) {
  const DuckDbApi& api = *DuckDb();
  std::string& error = outcome.errorMessage;
  duckdb_extracted_statements raw = nullptr;
  const idx_t count = api.duckdb_extract_statements(connection, sql.c_str(), &raw);
  const DuckDbExtracted extracted(raw);
  if (count == 0) {
    // No statement at all, as in empty SQL, is no error.
    const char* message = api.duckdb_extract_statements_error(raw);
    if (message != nullptr && *message != '\0') error = DuckDbError(message);
    return error.empty();
  }
  for (idx_t i = 0; i < count; ++i) {
    // The statements before this one may have changed how values read.
    if (i > 0 && !cells.FollowSettingsOf(connection, error)) return false;
    duckdb_prepared_statement rawStatement = nullptr;
    const duckdb_state prepared =
        api.duckdb_prepare_extracted_statement(connection, raw, i, &rawStatement);
    const DuckDbPrepared statement(rawStatement);
    if (prepared != DuckDBSuccess) {
      error = PrepareError(rawStatement);
      return false;
    }
    if (const char* refused = RefusedStatement(api.duckdb_prepared_statement_type(rawStatement))) {
      error = refused;
      return false;
    }
    DuckDbResult result;
    if (!ExecuteStreaming(rawStatement, result, error)) return false;
    switch (api.duckdb_result_return_type(*result.get())) {
      case DUCKDB_RESULT_TYPE_QUERY_RESULT:
        if (!cells.Stream(*result.get(), rows, error)) return false;
        break;
      case DUCKDB_RESULT_TYPE_CHANGED_ROWS:
        outcome.changedRows += static_cast<int64_t>(api.duckdb_rows_changed(result.get()));
        break;
      default:  // a statement with no result of its own, such as CREATE or SET
        break;
    }
  }
  return true;
}

// Rolls back a transaction that the statements left open; true when there was one. DuckDB
// refuses a ROLLBACK outside a transaction, and has no other way to ask.
bool RolledBackOpenTransaction(duckdb_connection connection) {
  DuckDbResult result;
  return DuckDb()->duckdb_query(connection, "ROLLBACK", result.get()) == DuckDBSuccess;
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
      "CAST(free_blocks AS VARCHAR) FROM pragma_database_size() "
      "WHERE database_name = current_database()",
      [&](const CellView* cells) {
        diagnostics.pageSize = std::stoll(std::string(cells[0].text));
        diagnostics.pageCount = std::stoll(std::string(cells[1].text));
        diagnostics.freelistCount = std::stoll(std::string(cells[2].text));
        found = true;
      },
      error);
  if (read && !found) error = "DuckDB reported no storage for the database";
  return read && found;
}

// The query that reads `table` for export: every column the program cannot write itself is cast
// to VARCHAR by DuckDB as it scans them, under the column's own name.
bool ExportSql(duckdb_connection connection, const CatalogTable& table, std::string& sql,
               std::string& error) {
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
    const std::string quoted = QuotedDuckDbName(name != nullptr ? name : "");
    api.duckdb_free(const_cast<char*>(name));
    if (column > 0) sql += ", ";
    sql += WritesOwnText(api.duckdb_prepared_statement_column_type(raw, column))
               ? quoted
               : "CAST(" + quoted + " AS VARCHAR) AS " + quoted;
  }
  sql += " FROM " + QualifiedName(table);
  return true;
}

const char kOpenTransaction[] = "the SQL text left a transaction open; it was rolled back";

}  // namespace

std::string DuckDbEngine::WhyUnavailable() { return DuckDbLoadError(); }

QueryOutcome DuckDbEngine::RunQuery(const std::string& dbPath, const std::string& sql,
                                    RowSink& rows) {
  const OpenedDuckDb opened = OpenDuckDb(dbPath, DuckDbOpenMode::kReadWrite);
  if (!opened.database) return Failure<QueryOutcome>(opened.errorMessage);
  QueryOutcome outcome;
  const std::unique_ptr<DuckDbTextCells> cells =
      DuckDbTextCells::Create(opened.database.get(), outcome.errorMessage);
  if (!cells) return outcome;

  const auto start = std::chrono::steady_clock::now();
  outcome.success = RunStatements(opened.connection.get(), sql, *cells, rows, outcome);
  const auto stop = std::chrono::steady_clock::now();
  if (outcome.success && RolledBackOpenTransaction(opened.connection.get())) {
    return Failure<QueryOutcome>(kOpenTransaction);
  }
  if (!outcome.success) return Failure<QueryOutcome>(outcome.errorMessage);
  outcome.elapsedMs = std::chrono::duration<double, std::milli>(stop - start).count();
  return outcome;
}

SchemaResult DuckDbEngine::InspectSchema(const std::string& dbPath, bool countRows) {
  const OpenedDuckDb opened = OpenDuckDb(dbPath, DuckDbOpenMode::kReadOnly);
  if (!opened.database) return Failure<SchemaResult>(opened.errorMessage);
  SchemaResult schema = ReadSchema(opened.connection.get(), countRows);
  if (!schema.success) return Failure<SchemaResult>(schema.errorMessage);
  return schema;
}

DbDiagnostics DuckDbEngine::AnalyzeDatabase(const std::string& dbPath) {
  const OpenedDuckDb opened = OpenDuckDb(dbPath, DuckDbOpenMode::kReadOnly);
  if (!opened.database) return Failure<DbDiagnostics>(opened.errorMessage);
  DbDiagnostics diagnostics;
  // DuckDB writes every change to its write-ahead log before it reaches the database file.
  diagnostics.journalMode = "wal";
  std::string error;
  if (!ReadStorage(opened.connection.get(), diagnostics, error)) {
    return Failure<DbDiagnostics>(error);
  }
  diagnostics.integrityChecked = ReadEveryBlock(opened.connection.get(), error);
  diagnostics.integrityOk = diagnostics.integrityChecked;
  diagnostics.success = true;
  return diagnostics;
}

Outcome DuckDbEngine::ExportTable(const std::string& dbPath, const std::string& table,
                                  RowSink& rows) {
  const OpenedDuckDb opened = OpenDuckDb(dbPath, DuckDbOpenMode::kReadOnly);
  if (!opened.database) return Failure<Outcome>(opened.errorMessage);
  Outcome outcome;
  std::vector<CatalogTable> tables;
  if (!ReadCatalogTables(opened.connection.get(), true, tables, outcome.errorMessage)) {
    return outcome;
  }
  const CatalogTable* found = FindTable(tables, table);
  if (found == nullptr) return Failure<Outcome>("no such table: " + table);
  std::string sql;
  if (!ExportSql(opened.connection.get(), *found, sql, outcome.errorMessage)) return outcome;
  DuckDbResult result;
  outcome.success = QueryStreaming(opened.connection.get(), sql, result, outcome.errorMessage) &&
                    StreamResultDirectly(*result.get(), rows, outcome.errorMessage);
  return outcome;
}

SampleResult DuckDbEngine::CreateSampleBenchmarkDb(const std::string& outPath) {
  return CreateDuckDbSampleDatabase(outPath);
}

}  // namespace Corvenmark
