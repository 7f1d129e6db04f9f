#include "sqlite_engine.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>

#include "csv.h"
#include "large_buffer.h"
#include "sample_database.h"
#include "schema_diff.h"
#include "sqlite_database.h"

namespace Corvenmark {
namespace {

template <class Result>
Result Failure(std::string message) {
  Result result;
  result.success = false;
  result.errorMessage = std::move(message);
  return result;
}

std::string Text(sqlite3_stmt* statement, int column) {
  std::string scratch;
  return std::string(CellText(statement, column, scratch));
}

// Steps `statement` to the end, collecting its rows when `rows` is given.
int StepAll(sqlite3_stmt* statement, RowList* rows) {
  const int columnCount = sqlite3_column_count(statement);
  std::string scratch;
  int status;
  while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
    if (rows == nullptr) continue;
    rows->AddRow();
    for (int column = 0; column < columnCount; ++column) {
      rows->AddCell(CellText(statement, column, scratch));
    }
  }
  return status;
}

// SQLite answers null only when it runs out of memory.
const char* ColumnName(sqlite3_stmt* statement, int column) {
  const char* name = sqlite3_column_name(statement, column);
  return name != nullptr ? name : "";
}

std::vector<std::string> ColumnNames(sqlite3_stmt* statement) {
  std::vector<std::string> names;
  for (int column = 0; column < sqlite3_column_count(statement); ++column) {
    names.emplace_back(ColumnName(statement, column));
  }
  return names;
}

// Runs the statements of `sql` one by one; a result that returns columns replaces the report.
bool RunStatements(sqlite3* db, const std::string& sql, QueryResult& result) {
  const char* next = sql.c_str();
  while (*next != '\0') {
    const char* start = next;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, start, -1, &raw, &next) != SQLITE_OK) {
      result.errorMessage = sqlite3_errmsg(db);
      return false;
    }
    StatementHandle statement(raw);
    if (!statement) {  // only white space or a comment
      if (next == start) break;
      continue;
    }
    const bool returnsColumns = sqlite3_column_count(raw) > 0;
    RowList rows;
    if (StepAll(raw, returnsColumns ? &rows : nullptr) != SQLITE_DONE) {
      result.errorMessage = sqlite3_errmsg(db);
      return false;
    }
    if (returnsColumns) {
      result.columns = ColumnNames(raw);
      result.rows = std::move(rows);
    }
  }
  return true;
}

int32_t ClampToInt32(sqlite3_int64 value) {
  return value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                     : static_cast<int32_t>(value);
}

std::vector<ColumnMeta> ReadColumns(sqlite3* db, const std::string& table, std::string& error) {
  std::vector<ColumnMeta> columns;
  // Hidden columns of virtual tables are left out; generated columns are kept.
  StatementHandle statement = Prepare(db,
                                      "SELECT cid, name, type, \"notnull\", dflt_value, pk "
                                      "FROM pragma_table_xinfo(?1, 'main') WHERE hidden <> 1",
                                      error);
  if (!statement) return columns;
  sqlite3_stmt* raw = statement.get();
  sqlite3_bind_text(raw, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  int status;
  while ((status = sqlite3_step(raw)) == SQLITE_ROW) {
    ColumnMeta column;
    column.ordinal = sqlite3_column_int(raw, 0);
    column.name = Text(raw, 1);
    column.type = Text(raw, 2);
    column.notNull = sqlite3_column_int(raw, 3) != 0;
    column.defaultValue = Text(raw, 4);
    column.primaryKey = sqlite3_column_int(raw, 5) != 0;
    columns.push_back(std::move(column));
  }
  if (status != SQLITE_DONE) error = sqlite3_errmsg(db);
  return columns;
}

// Prepares and steps `sql` to its first row; null, with `error` set, when there is none.
StatementHandle QueryFirstRow(sqlite3* db, const char* sql, std::string& error) {
  StatementHandle statement = Prepare(db, sql, error);
  if (statement && sqlite3_step(statement.get()) != SQLITE_ROW) {
    error = sqlite3_errmsg(db);
    statement.reset();
  }
  return statement;
}

int64_t CountRows(sqlite3* db, const std::string& table, std::string& error) {
  const std::string sql = "SELECT count(*) FROM main." + QuoteIdentifier(table);
  StatementHandle statement = QueryFirstRow(db, sql.c_str(), error);
  return statement ? sqlite3_column_int64(statement.get(), 0) : 0;
}

// The tables of the main schema but SQLite's internal ones, in byte order of their names.
SchemaResult ReadSchema(sqlite3* db, bool countRows) {
  SchemaResult schema;
  StatementHandle statement = Prepare(db,
                                      "SELECT name, sql FROM main.sqlite_master "
                                      "WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
                                      "ESCAPE '\\' ORDER BY name COLLATE BINARY",
                                      schema.errorMessage);
  if (!statement) return schema;
  int status;
  while ((status = sqlite3_step(statement.get())) == SQLITE_ROW) {
    TableMeta table;
    table.name = Text(statement.get(), 0);
    table.createSql = Text(statement.get(), 1);
    schema.tables.push_back(std::move(table));
  }
  if (status != SQLITE_DONE) {
    schema.errorMessage = sqlite3_errmsg(db);
    return schema;
  }
  for (TableMeta& table : schema.tables) {
    table.columns = ReadColumns(db, table.name, schema.errorMessage);
    if (countRows && schema.errorMessage.empty()) {
      table.rowCount = CountRows(db, table.name, schema.errorMessage);
    }
    if (!schema.errorMessage.empty()) return schema;
  }
  schema.success = true;
  return schema;
}

// Runs a pragma that answers with one value.
bool ReadPragma(sqlite3* db, const char* sql, std::string& value, std::string& error) {
  StatementHandle statement = QueryFirstRow(db, sql, error);
  if (statement) value = Text(statement.get(), 0);
  return statement != nullptr;
}

bool ReadPragma(sqlite3* db, const char* sql, int64_t& value, std::string& error) {
  StatementHandle statement = QueryFirstRow(db, sql, error);
  if (statement) value = sqlite3_column_int64(statement.get(), 0);
  return statement != nullptr;
}

// True when the check answers exactly one row, "ok". A database too damaged for the check to
// run is damaged all the same.
bool PassesIntegrityCheck(sqlite3* db) {
  std::string error;
  StatementHandle statement = Prepare(db, "PRAGMA main.integrity_check", error);
  if (!statement) return false;
  if (sqlite3_step(statement.get()) != SQLITE_ROW || Text(statement.get(), 0) != "ok") {
    return false;
  }
  return sqlite3_step(statement.get()) == SQLITE_DONE;
}

bool HasNoForeignKeyViolations(sqlite3* db) {
  std::string error;
  StatementHandle statement = Prepare(db, "PRAGMA main.foreign_key_check", error);
  return statement && sqlite3_step(statement.get()) == SQLITE_DONE;
}

// The name of the table or view that `requested` names, as the database spells it; empty when
// the database has none. SQLite matches names without regard to ASCII case.
std::string FindTable(sqlite3* db, const std::string& requested, std::string& error) {
  StatementHandle statement = Prepare(db,
                                      "SELECT name FROM main.sqlite_master "
                                      "WHERE type IN ('table', 'view') AND name = ?1 "
                                      "COLLATE NOCASE ORDER BY name = ?1 DESC LIMIT 1",
                                      error);
  if (!statement) return "";
  sqlite3_bind_text(statement.get(), 1, requested.c_str(), -1, SQLITE_TRANSIENT);
  const int status = sqlite3_step(statement.get());
  if (status == SQLITE_ROW) return Text(statement.get(), 0);
  if (status != SQLITE_DONE) error = sqlite3_errmsg(db);
  return "";
}

void AppendCsvRecord(std::string& out, sqlite3_stmt* statement, int columnCount,
                     std::string& scratch) {
  for (int column = 0; column < columnCount; ++column) {
    if (column > 0) out += ',';
    AppendCsvField(out, CellText(statement, column, scratch));
  }
  out += '\n';
}

bool WriteCsv(sqlite3* db, const std::string& table, CsvExport& csv) {
  // Text is usually larger than SQLite's records, but seldom twice the whole file. Reserving
  // that much up front spares copying the document as it grows; pages never written cost
  // nothing.
  std::string ignored;
  int64_t pageCount = 0, pageSize = 0;
  if (ReadPragma(db, "PRAGMA main.page_count", pageCount, ignored) &&
      ReadPragma(db, "PRAGMA main.page_size", pageSize, ignored)) {
    const int64_t kMostReserved = int64_t{1} << 30;
    csv.text.reserve(static_cast<size_t>(std::min(pageCount * pageSize * 2, kMostReserved)));
    AdviseLargeBuffer(csv.text.data(), csv.text.capacity());
  }
  const std::string sql = "SELECT * FROM main." + QuoteIdentifier(table);
  StatementHandle statement = Prepare(db, sql.c_str(), csv.errorMessage);
  if (!statement) return false;
  sqlite3_stmt* raw = statement.get();
  const int columnCount = sqlite3_column_count(raw);
  for (int column = 0; column < columnCount; ++column) {
    if (column > 0) csv.text += ',';
    AppendCsvField(csv.text, ColumnName(raw, column));
  }
  csv.text += '\n';
  std::string scratch;
  int status;
  while ((status = sqlite3_step(raw)) == SQLITE_ROW) {
    AppendCsvRecord(csv.text, raw, columnCount, scratch);
  }
  if (status != SQLITE_DONE) {
    csv.errorMessage = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

}  // namespace

QueryResult SqliteEngine::ExecuteQuery(const std::string& dbPath, const std::string& sql) {
  OpenedDatabase opened = OpenExistingDatabase(dbPath, SQLITE_OPEN_READWRITE);
  if (!opened.db) return Failure<QueryResult>(opened.errorMessage);
  sqlite3* db = opened.db.get();

  QueryResult result;
  const sqlite3_int64 changesBefore = sqlite3_total_changes64(db);
  const auto start = std::chrono::steady_clock::now();
  result.success = RunStatements(db, sql, result);
  const auto stop = std::chrono::steady_clock::now();
  if (!result.success) return Failure<QueryResult>(result.errorMessage);
  result.elapsedMs = std::chrono::duration<double, std::milli>(stop - start).count();
  result.changedRows = ClampToInt32(sqlite3_total_changes64(db) - changesBefore);
  return result;
}

SchemaResult SqliteEngine::InspectSchema(const std::string& dbPath) {
  OpenedDatabase opened = OpenExistingDatabase(dbPath, SQLITE_OPEN_READONLY);
  if (!opened.db) return Failure<SchemaResult>(opened.errorMessage);
  return ReadSchema(opened.db.get(), true);
}

DbDiagnostics SqliteEngine::AnalyzeDatabase(const std::string& dbPath) {
  OpenedDatabase opened = OpenExistingDatabase(dbPath, SQLITE_OPEN_READONLY);
  if (!opened.db) return Failure<DbDiagnostics>(opened.errorMessage);
  sqlite3* db = opened.db.get();

  DbDiagnostics diagnostics;
  std::string& error = diagnostics.errorMessage;
  if (opened.walOpenedImmutable) diagnostics.journalMode = "wal";
  if ((!opened.walOpenedImmutable &&
       !ReadPragma(db, "PRAGMA main.journal_mode", diagnostics.journalMode, error)) ||
      !ReadPragma(db, "PRAGMA main.page_size", diagnostics.pageSize, error) ||
      !ReadPragma(db, "PRAGMA main.page_count", diagnostics.pageCount, error) ||
      !ReadPragma(db, "PRAGMA main.freelist_count", diagnostics.freelistCount, error)) {
    return diagnostics;
  }
  diagnostics.integrityOk = PassesIntegrityCheck(db);
  diagnostics.foreignKeysOk = HasNoForeignKeyViolations(db);
  diagnostics.success = true;
  return diagnostics;
}

CsvExport SqliteEngine::ExportCsv(const std::string& dbPath, const std::string& table) {
  OpenedDatabase opened = OpenExistingDatabase(dbPath, SQLITE_OPEN_READONLY);
  if (!opened.db) return Failure<CsvExport>(opened.errorMessage);
  sqlite3* db = opened.db.get();

  CsvExport csv;
  const std::string name = FindTable(db, table, csv.errorMessage);
  if (name.empty()) {
    return Failure<CsvExport>(csv.errorMessage.empty() ? "no such table: " + table
                                                       : csv.errorMessage);
  }
  if (!WriteCsv(db, name, csv)) return Failure<CsvExport>(csv.errorMessage);
  csv.success = true;
  return csv;
}

SampleResult SqliteEngine::CreateSampleBenchmarkDb(const std::string& outPath) {
  SampleResult sample;
  sample.success = CreateSampleDatabase(outPath, sample.errorMessage);
  if (sample.success) sample.status = "OK";
  return sample;
}

SchemaDiff SqliteEngine::DiffDatabases(const std::string& firstPath,
                                       const std::string& secondPath) {
  SchemaResult schemas[2];
  const std::string* paths[2] = {&firstPath, &secondPath};
  for (int i = 0; i < 2; ++i) {
    OpenedDatabase opened = OpenExistingDatabase(*paths[i], SQLITE_OPEN_READONLY);
    if (!opened.db) return Failure<SchemaDiff>(opened.errorMessage);
    schemas[i] = ReadSchema(opened.db.get(), false);
    if (!schemas[i].success) return Failure<SchemaDiff>(schemas[i].errorMessage);
  }
  return CompareSchemas(schemas[0].tables, schemas[1].tables);
}

}  // namespace Corvenmark
