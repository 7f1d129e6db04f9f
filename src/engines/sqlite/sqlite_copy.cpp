#include "engines/sqlite/sqlite_copy.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "engines/copy_plan.h"
#include "engines/new_database.h"
#include "engines/sql_text.h"
#include "engines/sqlite/sqlite_database.h"
#include "engines/type_family.h"
#include "platform/interrupt.h"

namespace Corvenmark {
namespace {

// Dates and times are text in SQLite, under their declared names. There are no exact decimals,
// booleans (1 and 0 would not read back as true and false), intervals, UUIDs or nested values:
// they keep their text.
std::string TextFamilyType(TypeFamily family) {
  switch (family) {
    case TypeFamily::kText:
      return "TEXT";
    case TypeFamily::kDate:
      return "DATE";
    case TypeFamily::kTime:
      return "TIME";
    case TypeFamily::kTimestamp:
      return "TIMESTAMP";
    default:
      return "";
  }
}

std::string FamilyType(TypeFamily family, const ColumnCensus& census) {
  if (census.OnlyOf({&ColumnCensus::texts})) return TextFamilyType(family);
  if (family == TypeFamily::kInteger) {
    return census.OnlyOf({&ColumnCensus::integers}) && !census.beyond64Bits ? "INTEGER" : "";
  }
  // SQLite stores NaN as NULL, and a column of REAL affinity -0.0 as the integer 0.
  if (family == TypeFamily::kFloatingPoint) {
    return census.OnlyOf({&ColumnCensus::reals, &ColumnCensus::integers}) && !census.notANumber &&
                   !census.negativeZero && !census.beyondDouble
               ? "REAL"
               : "";
  }
  return family == TypeFamily::kBlob && census.OnlyOf({&ColumnCensus::blobs}) ? "BLOB" : "";
}

// Text keeps any value but a double (whose text would be cut to 15 digits) and a BLOB; a
// column declared BLOB has no affinity, and each value stays of the kind it was bound as.
std::string KeepingType(const ColumnCensus& census) {
  return census.reals == 0 && census.blobs == 0 ? "TEXT" : "BLOB";
}

bool KeyHolds(const ColumnCensus&) { return true; }

const TargetTypes kSqliteTypes = {"SQLite", FamilyType, KeepingType, KeyHolds, SqliteTypeFamily};

std::string CreateTableSql(const TablePlan& plan) {
  std::string sql = "CREATE TABLE " + QuotedIdentifier(plan.name) + " (";
  std::string key;
  for (size_t i = 0; i < plan.columns.size(); ++i) {
    const ColumnPlan& column = plan.columns[i];
    if (i > 0) sql += ", ";
    sql += QuotedIdentifier(column.name);
    if (!column.type.empty()) sql += " " + column.type;
    if (column.notNull) sql += " NOT NULL";
    if (column.primaryKey) key += (key.empty() ? "" : ", ") + QuotedIdentifier(column.name);
  }
  if (!key.empty()) sql += ", PRIMARY KEY (" + key + ")";
  return sql + ")" + plan.options;
}

// Binds each value as the kind SQLite keeps it; what SQLite cannot hold as its own kind (NaN,
// an integer beyond 64 bits) goes in as its text.
void Bind(sqlite3_stmt* insert, int index, const CellView& cell) {
  const std::string_view text = cell.text;
  switch (cell.isNull ? CellKind::kText : cell.kind) {
    case CellKind::kInteger: {
      int64_t value = 0;
      const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
      if (read.ec == std::errc() && read.ptr == text.data() + text.size()) {
        sqlite3_bind_int64(insert, index, value);
        return;
      }
      break;
    }
    case CellKind::kReal: {
      const double value = std::strtod(std::string(text).c_str(), nullptr);
      if (!std::isnan(value)) {
        sqlite3_bind_double(insert, index, value);
      } else {
        sqlite3_bind_text(insert, index, "NaN", 3, SQLITE_STATIC);
      }
      return;
    }
    case CellKind::kBlob:
      sqlite3_bind_blob64(insert, index, text.data(), text.size(), SQLITE_STATIC);
      return;
    default:
      break;
  }
  if (cell.isNull) {
    sqlite3_bind_null(insert, index);
  } else {
    sqlite3_bind_text64(insert, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
  }
}

class Inserter : public RowSink {
 public:
  Inserter(sqlite3* db, sqlite3_stmt* insert) : db_(db), insert_(insert) {}
  bool BeginResult(const std::vector<std::string>&) override { return true; }
  bool AddRow(const CellView* cells, size_t count) override {
    if (InterruptWatch::Requested()) {
      error_ = "interrupted";
      return false;
    }
    for (size_t i = 0; i < count; ++i) Bind(insert_, static_cast<int>(i) + 1, cells[i]);
    const bool done = sqlite3_step(insert_) == SQLITE_DONE;
    if (!done) error_ = sqlite3_errmsg(db_);
    sqlite3_reset(insert_);
    ++rows_;
    return done;
  }
  bool PrefersJson() const override { return true; }
  bool WantsNativeValues() const override { return true; }

  const std::string& error() const { return error_; }
  uint64_t rows() const { return rows_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* insert_;
  std::string error_;
  uint64_t rows_ = 0;
};

bool Exec(sqlite3* db, const std::string& sql, std::string& error) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  error = sqlite3_errmsg(db);
  return false;
}

// Copies one table: a census of its values, its plan, then its rows.
bool CopyTable(sqlite3* db, const TableMeta& table, TableSource& source, CopyResult& result,
               std::string& error) {
  CensusTaker census;
  const Outcome counted = source.ReadRows(table, census);
  if (!counted.success) {
    error = counted.errorMessage.empty() ? "interrupted" : counted.errorMessage;
    return false;
  }
  const TablePlan plan = PlanTable(table, census.columns(), source, kSqliteTypes, result.notes);
  if (!Exec(db, CreateTableSql(plan), error)) return false;
  std::string sql = "INSERT INTO " + QuotedIdentifier(plan.name) + " VALUES (";
  for (size_t i = 0; i < plan.columns.size(); ++i) sql += i > 0 ? ", ?" : "?";
  const StatementHandle insert = Prepare(db, (sql + ")").c_str(), error);
  if (!insert) return false;
  Inserter inserter(db, insert.get());
  const Outcome copied = source.ReadRows(table, inserter);
  if (!copied.success) {
    error = !inserter.error().empty() ? inserter.error() : copied.errorMessage;
    return false;
  }
  ++result.tables;
  result.rows += inserter.rows();
  return true;
}

}  // namespace

CopyResult CopyIntoSqlite(const std::string& path, TableSource& source) {
  CopyResult result;
  const auto fill = [&](const std::string& buildPath, const std::string& shownPath,
                        std::string& errorMessage) {
    OpenedDatabase opened = OpenExistingDatabase(buildPath, SQLITE_OPEN_READWRITE);
    if (!opened.db) {
      errorMessage =
          opened.errorMessage.substr(0, opened.errorMessage.rfind(": ")) + ": " + shownPath;
      return false;
    }
    sqlite3* db = opened.db.get();
    std::string error;
    // The file is new and is removed if anything fails, so it needs no journal while it fills.
    bool filled = Exec(db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN", error);
    for (const TableMeta& table : source.Tables()) {
      filled = filled && CopyTable(db, table, source, result, error);
    }
    // Built once the rows are in; an index that cannot be made is named, not a failure.
    for (const IndexMeta& index : source.Indexes()) {
      std::string why;
      if (filled && !Exec(db, CreateIndexSql(index, QuotedIdentifier(index.table)), why)) {
        result.notes.push_back("index " + index.name + ": not copied (" + why + ")");
      }
    }
    // A database of no table would be an empty file, which nothing takes for a database.
    if (filled && result.tables == 0) {
      filled = Exec(db, "CREATE TABLE corvenmark_empty (x); DROP TABLE corvenmark_empty", error);
    }
    filled = filled && Exec(db, "COMMIT; PRAGMA journal_mode = DELETE", error);
    if (!filled) errorMessage = error + ": " + shownPath;
    return filled;
  };
  const SampleResult made = CreateNewDatabase(path, {fill, false, {}});
  return FinishedCopy(std::move(result), made, source);
}

}  // namespace Corvenmark
