#include "duckdb_engine.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <utility>
#include <vector>

#include "duckdb_column_text.h"
#include "duckdb_database.h"
#include "duckdb_sample.h"
#include "duckdb_text_cells.h"

namespace Corvenmark {
namespace {

template <class Result>
Result Failure(std::string message) {
  Result result;
  result.success = false;
  result.errorMessage = std::move(message);
  return result;
}

std::string PrepareError(duckdb_prepared_statement statement) {
  const char* error = DuckDb()->duckdb_prepare_error(statement);
  return error != nullptr ? error : "unknown DuckDB error";
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
    const char* message = api.duckdb_pending_error(raw);
    error = message != nullptr ? message : "unknown DuckDB error";
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
    if (message != nullptr && *message != '\0') error = message;
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

// A table or view of the opened database, by the names of its catalog.
struct CatalogTable {
  std::string database;
  std::string schema;
  std::string name;
  std::string createSql;
  /// The name the schema listing prints: the table's own in the main schema, "schema.table"
  /// in any other.
  std::string shownName;
};

std::string QualifiedName(const CatalogTable& table) {
  return QuotedDuckDbName(table.database) + '.' + QuotedDuckDbName(table.schema) + '.' +
         QuotedDuckDbName(table.name);
}

// The user's own objects of the opened file: not DuckDB's internal ones, not temporary ones,
// not those of other attached databases.
const char kTablesSql[] =
    "SELECT database_name, schema_name, table_name, sql FROM duckdb_tables() "
    "WHERE database_name = current_database() AND NOT internal AND NOT temporary";
const char kTablesAndViewsSql[] =
    "SELECT database_name, schema_name, table_name, sql FROM duckdb_tables() "
    "WHERE database_name = current_database() AND NOT internal AND NOT temporary "
    "UNION ALL "
    "SELECT database_name, schema_name, view_name, sql FROM duckdb_views() "
    "WHERE database_name = current_database() AND NOT internal AND NOT temporary";

// In byte order of their shown names.
bool ReadCatalogTables(duckdb_connection connection, bool withViews,
                       std::vector<CatalogTable>& tables, std::string& error) {
  const bool read = ForEachTextRow(
      connection, withViews ? kTablesAndViewsSql : kTablesSql,
      [&](const CellView* cells) {
        CatalogTable& table = tables.emplace_back();
        table.database = cells[0].text;
        table.schema = cells[1].text;
        table.name = cells[2].text;
        table.createSql = cells[3].text;
        table.shownName = table.schema == "main" ? table.name : table.schema + '.' + table.name;
      },
      error);
  std::sort(tables.begin(), tables.end(),
            [](const CatalogTable& a, const CatalogTable& b) { return a.shownName < b.shownName; });
  return read;
}

const char kColumnsSql[] =
    "SELECT schema_name, table_name, column_name, data_type, CAST(is_nullable AS VARCHAR), "
    "column_default, CAST(column_index AS VARCHAR) FROM duckdb_columns() "
    "WHERE database_name = current_database() AND NOT internal "
    "ORDER BY schema_name, table_name, column_index";
const char kPrimaryKeysSql[] =
    "SELECT schema_name, table_name, unnest(constraint_column_names) FROM duckdb_constraints() "
    "WHERE database_name = current_database() AND constraint_type = 'PRIMARY KEY'";

using TableKey = std::pair<std::string, std::string>;  // schema, table

// Fills in the columns of `tables` from the catalog, in declared order.
bool ReadColumns(duckdb_connection connection, const std::vector<CatalogTable>& catalog,
                 std::vector<TableMeta>& tables, std::string& error) {
  std::map<TableKey, TableMeta*> byName;
  for (size_t i = 0; i < catalog.size(); ++i) {
    byName[{catalog[i].schema, catalog[i].name}] = &tables[i];
  }
  const auto cellText = [](const CellView& cell) { return std::string(cell.text); };
  const bool columnsRead = ForEachTextRow(
      connection, kColumnsSql,
      [&](const CellView* cells) {
        const auto table = byName.find({cellText(cells[0]), cellText(cells[1])});
        if (table == byName.end()) return;  // a view's columns
        ColumnMeta& column = table->second->columns.emplace_back();
        column.ordinal = static_cast<int32_t>(table->second->columns.size() - 1);
        column.name = cells[2].text;
        column.type = cells[3].text;
        column.notNull = cells[4].text == "false";
        column.defaultValue = cells[5].text;
      },
      error);
  return columnsRead &&
         ForEachTextRow(
             connection, kPrimaryKeysSql,
             [&](const CellView* cells) {
               const auto table = byName.find({cellText(cells[0]), cellText(cells[1])});
               if (table == byName.end()) return;
               for (ColumnMeta& column : table->second->columns) {
                 if (column.name == cells[2].text) column.primaryKey = true;
               }
             },
             error);
}

bool CountRows(duckdb_connection connection, const CatalogTable& table, int64_t& count,
               std::string& error) {
  const std::string sql = "SELECT CAST(count(*) AS VARCHAR) FROM " + QualifiedName(table);
  return ForEachTextRow(
      connection, sql.c_str(),
      [&](const CellView* cells) { count = std::stoll(std::string(cells[0].text)); }, error);
}

SchemaResult ReadSchema(duckdb_connection connection, bool countRows) {
  SchemaResult schema;
  std::string& error = schema.errorMessage;
  std::vector<CatalogTable> catalog;
  if (!ReadCatalogTables(connection, false, catalog, error)) return schema;
  for (const CatalogTable& table : catalog) {
    TableMeta& meta = schema.tables.emplace_back();
    meta.name = table.shownName;
    meta.createSql = table.createSql;
  }
  if (!ReadColumns(connection, catalog, schema.tables, error)) return schema;
  for (size_t i = 0; countRows && i < catalog.size(); ++i) {
    if (!CountRows(connection, catalog[i], schema.tables[i].rowCount, error)) return schema;
  }
  schema.success = true;
  return schema;
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
      error = failure;
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
// to VARCHAR by DuckDB as it scans them, on all its threads, under the column's own name.
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

char FoldedCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldedCase(x) == FoldedCase(y);
         });
}

// The table or view that `requested` names; null when there is none.
const CatalogTable* FindTable(const std::vector<CatalogTable>& tables,
                              const std::string& requested) {
  for (const CatalogTable& table : tables) {
    if (table.shownName == requested) return &table;
  }
  for (const CatalogTable& table : tables) {
    if (EqualIgnoringCase(table.shownName, requested)) return &table;
  }
  return nullptr;
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
  SampleResult sample;
  sample.success = CreateDuckDbSampleDatabase(outPath, sample.errorMessage);
  if (sample.success) sample.status = "OK";
  sample.createdFile = sample.success;
  return sample;
}

}  // namespace Corvenmark
