#include "engines/sqlite/sqlite_copy.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>

#include "engines/sqlite/sqlite_engine.h"
#include "engines/copy_plan.h"
#include "engines/new_database.h"
#include "engines/pipelined_rows.h"
#include "engines/sql_text.h"
#include "engines/sqlite/sqlite_database.h"
#include "engines/type_family.h"
#include "platform/ascii.h"
#include "platform/interrupt.h"

namespace Corvenmark {
namespace {

// Dates and times are text in SQLite, under their declared names. There are no exact decimals,
// intervals, UUIDs or nested values: they keep their text.
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

// A column of no values takes its family's type, as does one whose values all fit it.
std::string FamilyType(TypeFamily family, const ColumnCensus& census) {
  switch (family) {
    // SQLite stores TRUE and FALSE as 1 and 0, which every WHERE on the column reads as they
    // were.
    case TypeFamily::kBoolean:
      return census.OnlyOf({&ColumnCensus::booleans}) ? "BOOLEAN" : "";
    case TypeFamily::kInteger:
      return census.OnlyOf({&ColumnCensus::integers}) && !census.beyond64Bits ? "INTEGER" : "";
    // SQLite stores NaN as NULL, and a column of REAL affinity -0.0 as the integer 0.
    case TypeFamily::kFloatingPoint:
      return census.OnlyOf({&ColumnCensus::reals, &ColumnCensus::integers}) &&
                     !census.notANumber && !census.negativeZero && !census.beyondDouble
                 ? "REAL"
                 : "";
    case TypeFamily::kBlob:
      return census.OnlyOf({&ColumnCensus::blobs}) ? "BLOB" : "";
    default:
      return census.OnlyOf({&ColumnCensus::texts}) ? TextFamilyType(family) : "";
  }
}

// Text keeps any value but a double (whose text would be cut to 15 digits) and a BLOB; a
// column declared BLOB has no affinity, and each value stays of the kind it was bound as.
std::string KeepingType(const ColumnCensus& census) {
  return census.reals == 0 && census.blobs == 0 ? "TEXT" : "BLOB";
}

bool KeyHolds(const ColumnCensus&) { return true; }

const TargetTypes kSqliteTypes = {"SQLite", FamilyType, KeepingType, KeyHolds, SqliteTypeFamily,
                                  true};

std::string CreateTableSql(const TablePlan& plan) {
  return "CREATE TABLE " + QuotedIdentifier(plan.name) + " " + TableDefinitionSql(plan);
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
      const double value = RealOf(cell);
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
    case CellKind::kBoolean:
      sqlite3_bind_int(insert, index, text == "true" ? 1 : 0);
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
  Inserter(sqlite3* db, sqlite3_stmt* insert, const std::vector<size_t>& written,
           CensusTaker* census)
      : db_(db), insert_(insert), written_(written), census_(census) {}
  bool BeginResult(const std::vector<std::string>& columns) override {
    return census_ == nullptr || census_->BeginResult(columns);
  }
  bool AddRow(const CellView* cells, size_t count) override {
    if (InterruptWatch::Requested()) {
      error_ = "interrupted";
      return false;
    }
    if (census_ != nullptr) census_->AddRow(cells, count);
    for (size_t i = 0; i < written_.size(); ++i) {
      assert(written_[i] < count);
      Bind(insert_, static_cast<int>(i) + 1, cells[written_[i]]);
    }
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
  const std::vector<size_t>& written_;  ///< The cells of a row that are inserted, in order.
  CensusTaker* census_;                 ///< Counts the rows as they go in, when not null.
  std::string error_;
  uint64_t rows_ = 0;
};

bool Exec(sqlite3* db, const std::string& sql, std::string& error) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  error = sqlite3_errmsg(db);
  return false;
}

bool IsSqliteSource(const TableSource& source) {
  return std::strcmp(source.Format(), kSqliteTypes.format) == 0;
}

// A table of SQLite's own that is made again by its own statement, as written: its defaults,
// constraints and keys with it. A virtual table makes tables of its own, which are copied as
// the other tables are, so it is made as a plain one.
bool KeepsItsStatement(const TableMeta& table, const TableSource& source) {
  return IsSqliteSource(source) && sqlite3_strnicmp(table.createSql.c_str(), "CREATE TABLE", 12) == 0;
}

// Makes the table by `create` and inserts every row of `table` into it, but for the values of
// generated columns when `generatedToo` is false (the table computes them), counting them into
// `census` too when one is given.
bool LoadTable(sqlite3* db, const std::string& create, const std::string& name, bool generatedToo,
               const TableMeta& table, TableSource& source, CensusTaker* census, uint64_t& rows,
               std::string& error) {
  if (!Exec(db, create, error)) return false;
  std::vector<size_t> written;
  std::string names;
  std::string values;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].generated && !generatedToo) continue;
    written.push_back(i);
    names += (names.empty() ? "" : ", ") + QuotedIdentifier(table.columns[i].name);
    values += values.empty() ? "?" : ", ?";
  }
  const std::string sql =
      "INSERT INTO " + QuotedIdentifier(name) + " (" + names + ") VALUES (" + values + ")";
  const StatementHandle insert = Prepare(db, sql.c_str(), error);
  if (!insert) return false;
  Inserter inserter(db, insert.get(), written, census);
  PipelinedRows pipeline(inserter);
  Outcome copied = source.ReadRows(table, pipeline);
  copied.success = pipeline.Finish() && copied.success;
  if (!copied.success) {
    error = !inserter.error().empty() ? inserter.error() : copied.errorMessage;
    if (error.empty()) error = "interrupted";
    return false;
  }
  rows = inserter.rows();
  return true;
}

// Copies one table in one pass: within SQLite by its own statement; from another format in
// the types its declared ones stand for, counting the values as they go in. A table whose
// count calls for other types is made again, of those.
bool CopyTable(sqlite3* db, const TableMeta& table, TableSource& source, CopyResult& result,
               std::string& error) {
  uint64_t rows = 0;
  std::vector<std::string> notes;
  if (KeepsItsStatement(table, source)) {
    if (!LoadTable(db, table.createSql, table.ownName, false, table, source, nullptr, rows,
                   error)) {
      return false;
    }
  } else {
    const TablePlan declared = PlanTable(table, {}, source, kSqliteTypes, notes);
    CensusTaker census;
    if (!LoadTable(db, CreateTableSql(declared), declared.name, true, table, source, &census,
                   rows, error)) {
      return false;
    }
    notes.clear();
    const TablePlan plan = PlanTable(table, census.columns(), source, kSqliteTypes, notes);
    if (!SameColumnTypes(plan, declared) &&
        (!Exec(db, "DROP TABLE " + QuotedIdentifier(declared.name), error) ||
         !LoadTable(db, CreateTableSql(plan), plan.name, true, table, source, nullptr, rows,
                    error))) {
      return false;
    }
  }
  result.notes.insert(result.notes.end(), notes.begin(), notes.end());
  ++result.tables;
  result.rows += rows;
  return true;
}

// Within SQLite, every view, trigger and other index is made again by its own statement once
// the rows are in, so that no trigger fires on them; one that needs another not yet made is
// tried again after it. One that still cannot be made is named.
void CopyOtherObjects(sqlite3* db, const TableSource& source, CopyResult& result) {
  std::vector<const ObjectMeta*> left;
  for (const ObjectMeta& object : source.OtherObjects()) left.push_back(&object);
  std::vector<std::string> why(left.size());
  for (size_t before = left.size() + 1; !left.empty() && left.size() < before;) {
    before = left.size();
    std::vector<const ObjectMeta*> still;
    for (const ObjectMeta* object : left) {
      std::string error;
      if (!Exec(db, object->createSql, error)) still.push_back(object);
      if (!error.empty() && still.size() <= why.size()) why[still.size() - 1] = error;
    }
    left = still;
  }
  for (size_t i = 0; i < left.size(); ++i) {
    result.notes.push_back(left[i]->kind + " " + left[i]->name + ": not copied (" + why[i] + ")");
  }
}

// The table's schema, if any, and own name, each quoted: "a"."b" and "a.b" tell apart.
std::string QualifiedIdentity(const TableMeta& table) {
  return (table.schema.empty() ? "" : QuotedIdentifier(table.schema) + ".") +
         QuotedIdentifier(table.ownName);
}

// Two tables of the source that SQLite would name alike (schema a's table b and a table "a.b"
// of the default schema, or names that differ in ASCII case only) cannot both be copied.
bool NamesAreDistinct(const TableSource& source, std::string& error) {
  std::map<std::string, const TableMeta*> named;
  for (const TableMeta& table : source.Tables()) {
    const auto [other, added] = named.emplace(LowerAscii(table.name), &table);
    if (added) continue;
    error = "tables " + QualifiedIdentity(*other->second) + " and " + QualifiedIdentity(table) +
            " would both be named " + QuotedIdentifier(table.name) + " in SQLite";
    return false;
  }
  return true;
}

}  // namespace

CopyResult CopyIntoSqlite(const std::string& path, TableSource& source) {
  CopyResult result;
  if (!NamesAreDistinct(source, result.errorMessage)) {
    result.errorMessage += ": " + path;
    return result;
  }
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
    bool filled = Exec(db,
                       "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; "
                       "PRAGMA cache_size = -32768; BEGIN",
                       error);
    for (const TableMeta& table : source.Tables()) {
      filled = filled && CopyTable(db, table, source, result, error);
    }
    // Built once the rows are in; an index that cannot be made is named, not a failure.
    for (const IndexMeta& index : source.Indexes()) {
      const std::string sql = IsSqliteSource(source) && !index.createSql.empty()
                                  ? index.createSql
                                  : CreateIndexSql(index, QuotedIdentifier(index.table));
      std::string why;
      if (filled && !Exec(db, sql, why)) {
        result.notes.push_back("index " + index.name + ": not copied (" + why + ")");
      }
    }
    if (filled && IsSqliteSource(source)) CopyOtherObjects(db, source, result);
    // A database of no table would be an empty file, which nothing takes for a database.
    if (filled && result.tables == 0) {
      filled = Exec(db, "CREATE TABLE corvenmark_empty (x); DROP TABLE corvenmark_empty", error);
    }
    filled = filled && Exec(db, "COMMIT; PRAGMA journal_mode = DELETE", error);
    if (!filled) errorMessage = error + ": " + shownPath;
    return filled;
  };
  const SampleResult made = CreateNewDatabase(path, {fill, false, {}, ListsAsSqlite});
  return FinishedCopy(std::move(result), made, source, !IsSqliteSource(source));
}

}  // namespace Corvenmark
