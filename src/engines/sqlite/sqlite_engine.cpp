#include "engines/sqlite/sqlite_engine.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <climits>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "engines/new_database.h"
#include "engines/sqlite/sqlite_constraints.h"
#include "engines/sqlite/sqlite_copy.h"
#include "engines/sqlite/sqlite_database.h"
#include "engines/sqlite/sqlite_sample.h"
#include "engines/statement_lines.h"
#include "engines/type_family.h"
#include "platform/file_system.h"

namespace Corvenmark {
namespace {

std::string Text(sqlite3_stmt* statement, int column) {
  std::string scratch;
  return std::string(ReadCell(statement, column, scratch).text);
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

// What StepAll answers when the sink would take no more rows; no SQLite result code is negative.
const int kStoppedBySink = -1;

// Steps `statement` to the end; a statement with columns sends them and its rows to `rows`, as
// the last result when `last`. Returns SQLITE_DONE when every row was read and kept.
int StepAll(sqlite3_stmt* statement, RowSink& rows, bool last) {
  const int columnCount = sqlite3_column_count(statement);
  if (columnCount == 0) {
    int status;
    while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    return status;
  }
  const std::vector<std::string> names = ColumnNames(statement);
  if (!(last ? rows.BeginLastResult(names) : rows.BeginResult(names))) return kStoppedBySink;
  std::vector<std::string> scratch(static_cast<size_t>(columnCount));
  std::vector<CellView> cells(static_cast<size_t>(columnCount));
  const bool nativeValues = rows.WantsNativeValues();
  const bool doubleBits = nativeValues && rows.WantsDoubleBits();
  int status;
  while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
    for (int column = 0; column < columnCount; ++column) {
      cells[column] = ReadCell(statement, column, scratch[column], nativeValues, doubleBits);
    }
    if (!rows.AddRow(cells.data(), cells.size())) return kStoppedBySink;
  }
  return status;
}

// The length to give SQLite for the text from `start` to `end`, the NUL byte after it counted:
// given a length without it, SQLite copies the rest of the text before it parses a statement,
// and told to measure the text itself, it reads the rest to its end; either way a text of many
// statements would take time growing with the square of their number. A text too long for an
// int is measured by SQLite.
int LengthWithNul(const char* start, const char* end) {
  assert(*end == '\0');
  const size_t length = static_cast<size_t>(end - start) + 1;
  return length <= static_cast<size_t>(INT_MAX) ? static_cast<int>(length) : -1;
}

// True when a statement follows the one at `start`, which SQLite could not prepare and so did
// not say where it ends: at the first semicolon outside quotes and comments after which it is
// complete (one in a trigger's body is not the end).
bool StatementFollows(std::string_view sql, size_t start) {
  size_t end = start;
  do {
    end = StatementEnd(sql, end, SqlDialect::kSqlite);
  } while (end < sql.size() &&
           !sqlite3_complete(std::string(sql.substr(start, end - start)).c_str()));
  return NextStatementStart(sql, end, SqlDialect::kSqlite) < sql.size();
}

// Why the statement at `start` failed: SQLite's message, led by the line the statement starts on
// when the text holds others; memory running out says the same whatever ran out of it.
std::string StatementError(sqlite3* db, std::string_view sql, size_t start, bool alone) {
  const std::string message = sqlite3_errmsg(db);
  if (alone || sqlite3_errcode(db) == SQLITE_NOMEM) return message;
  return AtStatementLine(sql, NextStatementStart(sql, start, SqlDialect::kSqlite), message);
}

// Runs the statements of `sql` one by one. Fails with an empty message when `rows` stopped it.
bool RunStatements(sqlite3* db, const std::string& sql, RowSink& rows, std::string& error) {
  const char* const begin = sql.c_str();
  const char* const end = begin + sql.size();
  const char* next = begin;
  bool first = true;
  while (next != end) {
    const char* start = next;
    const size_t offset = static_cast<size_t>(start - begin);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, start, LengthWithNul(start, end), &raw, &next) != SQLITE_OK) {
      error = StatementError(db, sql, offset, first && !StatementFollows(sql, offset));
      return false;
    }
    StatementHandle statement(raw);
    if (!statement) {  // only white space or a comment
      if (next == start) break;
      continue;
    }
    // Nothing but white space after it: no later statement. A comment might hide one.
    const std::string_view rest(next, static_cast<size_t>(end - next));
    const bool last = rest.find_first_not_of(" \t\r\n\f\v;") == std::string_view::npos;
    const int status = StepAll(raw, rows, last);
    if (status != SQLITE_DONE) {
      const size_t after = static_cast<size_t>(next - begin);
      const bool alone = first && NextStatementStart(sql, after, SqlDialect::kSqlite) == sql.size();
      if (status != kStoppedBySink) error = StatementError(db, sql, offset, alone);
      return false;
    }
    first = false;
  }
  return true;
}

std::vector<ColumnMeta> ReadColumns(sqlite3* db, const std::string& table,
                                    std::vector<std::string>& primaryKey, std::string& error) {
  std::vector<ColumnMeta> columns;
  std::vector<std::pair<int, std::string>> keyed;  // position in the key, column
  // Hidden columns of virtual tables are left out; generated columns are kept.
  StatementHandle statement = Prepare(db,
                                      "SELECT cid, name, type, \"notnull\", dflt_value, pk, hidden "
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
    column.generated = sqlite3_column_int(raw, 6) >= 2;  // 2 virtual, 3 stored
    if (column.primaryKey) keyed.emplace_back(sqlite3_column_int(raw, 5), column.name);
    columns.push_back(std::move(column));
  }
  if (status != SQLITE_DONE) error = sqlite3_errmsg(db);
  std::sort(keyed.begin(), keyed.end());
  primaryKey.clear();
  for (const auto& [position, name] : keyed) primaryKey.push_back(name);
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
  const std::string sql = "SELECT count(*) FROM main." + QuotedIdentifier(table);
  StatementHandle statement = QueryFirstRow(db, sql.c_str(), error);
  return statement ? sqlite3_column_int64(statement.get(), 0) : 0;
}

// A virtual table whose module is not compiled in can be named but not read.
bool IsUnreadableVirtualTable(const TableMeta& table, const std::string& error) {
  return error.rfind("no such module: ", 0) == 0 &&
         sqlite3_strnicmp(table.createSql.c_str(), "CREATE VIRTUAL", 14) == 0;
}

// The views, triggers and indexes of the main schema, in byte order of their names; an index on
// plain columns of all rows among `schema.indexes`, any other among `schema.otherObjects`. An
// index SQLite makes for a key or a constraint has no SQL of its own, and is left out.
bool ReadOtherObjects(sqlite3* db, SchemaResult& schema) {
  std::string error;
  StatementHandle statement = Prepare(
      db,
      "SELECT m.type, m.name, m.tbl_name, il.\"unique\", il.partial, ii.name, m.sql "
      "FROM main.sqlite_master m "
      "LEFT JOIN main.pragma_index_list(m.tbl_name) il ON m.type = 'index' AND il.name = m.name "
      "LEFT JOIN main.pragma_index_xinfo(m.name) ii ON m.type = 'index' AND ii.key "
      "WHERE m.type IN ('view', 'index', 'trigger') AND m.sql IS NOT NULL "
      "ORDER BY m.name COLLATE BINARY, ii.seqno",
      error);
  if (!statement) return false;
  int status;
  std::string last;
  bool plain = true;
  while ((status = sqlite3_step(statement.get())) == SQLITE_ROW) {
    sqlite3_stmt* row = statement.get();
    const std::string type = Text(row, 0);
    const std::string name = Text(row, 1);
    const std::string sql = Text(row, 6);
    if (type != "index") {
      schema.otherObjects.push_back({type, name, sql});
      continue;
    }
    if (name != last) {
      last = name;
      plain = sqlite3_column_int(row, 4) == 0;
      if (plain)
        schema.indexes.push_back({name, Text(row, 2), {}, sqlite3_column_int(row, 3) != 0, sql});
      if (!plain) schema.otherObjects.push_back({type, name, sql});
    }
    // An expression in an index has no column name.
    if (plain && sqlite3_column_type(row, 5) == SQLITE_NULL) {
      plain = false;
      schema.indexes.pop_back();
      schema.otherObjects.push_back({type, name, sql});
    }
    if (plain) schema.indexes.back().columns.push_back(Text(row, 5));
  }
  return status == SQLITE_DONE;
}

// A foreign key that names no columns references its table's primary key: named here, as the
// formats that always name them do.
void ResolveKeyReferences(std::vector<TableMeta>& tables) {
  for (TableMeta& table : tables) {
    for (ConstraintMeta& constraint : table.constraints) {
      if (constraint.kind != ConstraintMeta::Kind::kForeignKey ||
          !constraint.referencedColumns.empty()) {
        continue;
      }
      for (const TableMeta& referenced : tables) {
        if (sqlite3_stricmp(referenced.name.c_str(), constraint.referencedTable.c_str()) != 0) {
          continue;
        }
        for (const ColumnMeta& column : referenced.columns) {
          if (column.primaryKey) constraint.referencedColumns.push_back(column.name);
        }
      }
    }
  }
}

// The tables of the main schema but SQLite's internal ones, in byte order of their names.
SchemaResult ReadSchema(sqlite3* db, bool countRows) {
  SchemaResult schema;
  schema.statementsAsWritten = true;
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
    table.ownName = table.name;
    table.createSql = Text(statement.get(), 1);
    schema.tables.push_back(std::move(table));
  }
  if (status != SQLITE_DONE) {
    schema.errorMessage = sqlite3_errmsg(db);
    return schema;
  }
  for (TableMeta& table : schema.tables) {
    std::string& error = schema.errorMessage;
    table.columns = ReadColumns(db, table.name, table.primaryKey, error);
    if (error.empty()) ReadConstraints(db, table, error);
    if (countRows && error.empty()) table.rowCount = CountRows(db, table.name, error);
    if (IsUnreadableVirtualTable(table, error)) {
      table.columns.clear();
      table.rowCount = -1;
      error.clear();
    }
    if (!error.empty()) return schema;
  }
  ResolveKeyReferences(schema.tables);
  if (!ReadOtherObjects(db, schema)) {
    schema.errorMessage = sqlite3_errmsg(db);
    return schema;
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

// Runs the integrity check into `diagnostics`: passed when it answers exactly one row, "ok";
// failed when it finds damage or stops at damage; not checked when it stops for any other
// reason (memory ran out, a read failed), with SQLite's reason.
void RunIntegrityCheck(sqlite3* db, DbDiagnostics& diagnostics) {
  std::string error;
  StatementHandle statement = Prepare(db, "PRAGMA main.integrity_check", error);
  int rows = 0;
  bool ok = false;
  int status = SQLITE_ERROR;
  while (statement && (status = sqlite3_step(statement.get())) == SQLITE_ROW) {
    ok = ++rows == 1 && Text(statement.get(), 0) == "ok";
  }
  const int primary = sqlite3_errcode(db) & 0xff;
  diagnostics.integrityChecked =
      status == SQLITE_DONE || primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
  diagnostics.integrityOk = ok && status == SQLITE_DONE;
  if (!diagnostics.integrityChecked) diagnostics.integrityUnchecked = sqlite3_errmsg(db);
}

// The name of the table or view that `requested` names, as the database spells it; empty when
// the database has none. SQLite matches names without regard to ASCII case; the exact spelling
// wins over another of the same letters.
std::string FindTableName(sqlite3* db, const std::string& requested, std::string& error) {
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

// How many times a read without locks that another process disturbed is made again, a little
// later each time, before it fails (half a second of waiting in all).
const int kReadAttempts = 5;

// A database opened read-only, in one read transaction that lasts until it is destroyed.
class SqliteSnapshot : public Database {
 public:
  SqliteSnapshot(std::string path, OpenedDatabase opened)
      : path_(std::move(path)), opened_(std::move(opened)) {}

  SchemaResult ReadCatalog(bool countRows) override {
    return ReadUntilUndisturbed<SchemaResult>([&] { return ReadSchema(db(), countRows); });
  }
  bool ReadsRows() const override { return true; }
  bool Analyzes() const override { return true; }

  bool FindTable(const std::string& requested, TableMeta& table, std::string& error) override {
    table = TableMeta();
    table.name = table.ownName = FindTableName(db(), requested, error);
    if (table.name.empty() && error.empty()) error = "no such table: " + requested;
    return error.empty();
  }

  Outcome ReadRows(const TableMeta& table, RowSink& rows, RowOrder order) override {
    assert(table.schema.empty() && !table.ownName.empty());
    Outcome outcome;
    std::string sql = "SELECT * FROM main." + QuotedIdentifier(table.ownName);
    // By the bytes of text, whatever the key's own collation: the order every engine's rows
    // can be merged in.
    for (size_t i = 0; order == RowOrder::kByPrimaryKey && i < table.primaryKey.size(); ++i) {
      sql += (i == 0 ? " ORDER BY " : ", ") + QuotedIdentifier(table.primaryKey[i]) +
             " COLLATE BINARY";
    }
    StatementHandle statement = Prepare(db(), sql.c_str(), outcome.errorMessage);
    if (!statement) return outcome;
    const int status = StepAll(statement.get(), rows, true);
    if (status == kStoppedBySink) return Failure<Outcome>("");
    if (status != SQLITE_DONE) outcome.errorMessage = sqlite3_errmsg(db());
    outcome.success =
        ReadWasUndisturbed(opened_, path_, outcome.errorMessage) && status == SQLITE_DONE;
    return outcome;
  }

  DbDiagnostics Analyze() override {
    return ReadUntilUndisturbed<DbDiagnostics>([&] {
      DbDiagnostics diagnostics;
      std::string& error = diagnostics.errorMessage;
      // An immutable connection reports "delete" whatever the file says.
      if (opened_.walOpenedImmutable) diagnostics.journalMode = "wal";
      if ((!opened_.walOpenedImmutable &&
           !ReadPragma(db(), "PRAGMA main.journal_mode", diagnostics.journalMode, error)) ||
          !ReadPragma(db(), "PRAGMA main.page_size", diagnostics.pageSize, error) ||
          !ReadPragma(db(), "PRAGMA main.page_count", diagnostics.pageCount, error) ||
          !ReadPragma(db(), "PRAGMA main.freelist_count", diagnostics.freelistCount, error)) {
        return Failure<DbDiagnostics>(error);
      }
      RunIntegrityCheck(db(), diagnostics);
      diagnostics.success = true;
      return diagnostics;
    });
  }

 private:
  sqlite3* db() const { return opened_.db.get(); }

  // Reads with `read`, which returns a result record. A read that another process disturbed is
  // made again on a new snapshot rather than fail, before anything else was read from this one:
  // nothing has been printed yet.
  template <class Result, class Read>
  Result ReadUntilUndisturbed(const Read& read) {
    for (int attempt = 1;; ++attempt) {
      Result result = read();
      std::string disturbed;
      if (ReadWasUndisturbed(opened_, path_, disturbed)) return result;
      if (attempt == kReadAttempts) return Failure<Result>(disturbed);
      std::this_thread::sleep_for(std::chrono::milliseconds(50 * attempt));
      opened_ = OpenExistingDatabase(path_, SQLITE_OPEN_READONLY);
      if (!opened_.db) return Failure<Result>(opened_.errorMessage);
    }
  }

  std::string path_;
  OpenedDatabase opened_;
};

}  // namespace

std::unique_ptr<Database> OpenSqliteSnapshot(const std::string& dbPath, std::string& error) {
  OpenedDatabase opened = OpenExistingDatabase(dbPath, SQLITE_OPEN_READONLY);
  if (!opened.db) {
    error = opened.errorMessage;
    return nullptr;
  }
  return std::make_unique<SqliteSnapshot>(dbPath, std::move(opened));
}

QueryOutcome SqliteEngine::RunQuery(const std::string& dbPath, const std::string& sql,
                                    RowSink& rows) {
  OpenedDatabase opened = OpenExistingDatabase(dbPath, SQLITE_OPEN_READWRITE);
  if (!opened.db) return Failure<QueryOutcome>(opened.errorMessage);
  sqlite3* db = opened.db.get();

  QueryOutcome outcome;
  const sqlite3_int64 changesBefore = sqlite3_total_changes64(db);
  const auto start = std::chrono::steady_clock::now();
  outcome.success = RunStatements(db, sql, rows, outcome.errorMessage);
  const auto stop = std::chrono::steady_clock::now();
  // Closing the connection would roll an open transaction back without a word; the user
  // learns of it instead.
  if (outcome.success && sqlite3_get_autocommit(db) == 0) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return Failure<QueryOutcome>(kOpenTransaction);
  }
  if (!outcome.success) return Failure<QueryOutcome>(outcome.errorMessage);
  outcome.elapsedMs = std::chrono::duration<double, std::milli>(stop - start).count();
  outcome.changedRows = sqlite3_total_changes64(db) - changesBefore;
  return outcome;
}

// SQLite writes nothing to an empty file, not even its header, until a statement changes the
// database: a file still empty after the SQL was only read.
QueryOutcome SqliteEngine::QueryNewDatabase(const std::string& path, const std::string& sql,
                                            RowSink& rows) {
  QueryOutcome outcome;
  const auto fill = [&](const std::string& building, const std::string&, std::string& error) {
    outcome = RunQuery(building, sql, rows);
    if (outcome.success && StampOf(building).size == 0) outcome = Failure<QueryOutcome>(kNothingWritten);
    error = outcome.errorMessage;
    return outcome.success;
  };
  const SampleResult made = CreateNewDatabase(path, {fill, false, {}, ListsAsSqlite});
  if (!made.success && outcome.success) outcome = Failure<QueryOutcome>(made.errorMessage);
  outcome.createdFile = made.createdFile;
  return outcome;
}

SampleResult SqliteEngine::CreateSampleBenchmarkDb(const std::string& outPath) {
  return CreateSqliteSampleDatabase(outPath);
}

bool HasSqliteHeader(std::string_view firstBytes) {
  const std::string_view header("SQLite format 3\0", 16);
  return firstBytes.substr(0, header.size()) == header;
}

const Engine kSqliteEngine = {
    "sqlite",
    "SQLite",
    HasSqliteHeader,
    nullptr,  // its locations are files
    nullptr,
    nullptr,
    [] { return std::string(sqlite3_libversion()); },
    SqliteEngine::RunQuery,
    OpenSqliteSnapshot,
    SqliteEngine::CreateSampleBenchmarkDb,
    CopyIntoSqlite,
    SqliteTypeFamily,
    SqliteEngine::QueryNewDatabase,
};

}  // namespace Corvenmark
