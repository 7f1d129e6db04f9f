#include "engines/duckdb/duckdb_copy.h"

#include <cmath>
#include <cstdlib>
#include <map>

#include "engines/copy_plan.h"
#include "engines/duckdb/duckdb_database.h"
#include "engines/duckdb/duckdb_sample.h"
#include "engines/sql_text.h"
#include "platform/interrupt.h"

namespace Corvenmark {
namespace {

std::string FamilyType(TypeFamily family, const ColumnCensus& census) {
  const bool onlyText = census.OnlyOf({&ColumnCensus::texts});
  switch (family) {
    case TypeFamily::kInteger:
      if (!census.OnlyOf({&ColumnCensus::integers})) return "";
      return census.beyond64Bits ? "HUGEINT" : "BIGINT";
    case TypeFamily::kFloatingPoint:
      return census.OnlyOf({&ColumnCensus::reals, &ColumnCensus::integers}) && !census.beyondDouble
                 ? "DOUBLE"
                 : "";
    case TypeFamily::kText:
      return onlyText && !census.notUtf8 ? "VARCHAR" : "";
    case TypeFamily::kBlob:
      return census.OnlyOf({&ColumnCensus::blobs}) ? "BLOB" : "";
    case TypeFamily::kBoolean:
      if (census.OnlyOf({&ColumnCensus::booleans})) return "BOOLEAN";
      return census.OnlyOf({&ColumnCensus::integers}) && !census.notBoolean ? "BOOLEAN" : "";
    case TypeFamily::kDate:
      return onlyText && !census.notDate ? "DATE" : "";
    case TypeFamily::kTime:
      return onlyText && !census.notTime ? "TIME" : "";
    case TypeFamily::kTimestamp:
      if (!onlyText || census.notTimestamp) return "";
      return census.withOffset ? "TIMESTAMPTZ" : "TIMESTAMP";
    // A decimal of SQLite's is a double or an integer, kept as one below.
    default:
      return "";
  }
}

std::string KeepingType(const ColumnCensus& census) {
  if (census.values() == 0) return "VARCHAR";
  if (census.OnlyOf({&ColumnCensus::integers})) {
    return census.beyond64Bits ? "HUGEINT" : "BIGINT";
  }
  if (census.OnlyOf({&ColumnCensus::integers, &ColumnCensus::reals}) && !census.beyondDouble) {
    return "DOUBLE";
  }
  if (census.blobs == 0 && !census.notUtf8) return "VARCHAR";
  return "BLOB";  // text that is not UTF-8 is kept as its bytes
}

bool KeyHolds(const ColumnCensus& census) { return census.nulls == 0; }

const TargetTypes kDuckDbTypes = {"DuckDB", FamilyType, KeepingType, KeyHolds};

std::string QualifiedTable(const TablePlan& plan) {
  return (plan.schema.empty() ? "" : QuotedIdentifier(plan.schema) + ".") +
         QuotedIdentifier(plan.name.substr(plan.schema.empty() ? 0 : plan.schema.size() + 1));
}

std::string CreateTableSql(const TablePlan& plan) {
  std::string sql;
  if (!plan.schema.empty()) {
    sql = "CREATE SCHEMA IF NOT EXISTS " + QuotedIdentifier(plan.schema) + "; ";
  }
  sql += "CREATE TABLE " + QualifiedTable(plan) + " (";
  std::string key;
  for (size_t i = 0; i < plan.columns.size(); ++i) {
    const ColumnPlan& column = plan.columns[i];
    if (i > 0) sql += ", ";
    sql += QuotedIdentifier(column.name) + " " + column.type;
    if (column.notNull) sql += " NOT NULL";
    if (column.primaryKey) key += (key.empty() ? "" : ", ") + QuotedIdentifier(column.name);
  }
  if (!key.empty()) sql += ", PRIMARY KEY (" + key + ")";
  return sql + ")";
}

// Appends each value in the column's own type where that is quick and exact, and otherwise as
// text, which the appender casts to the column's type.
class Appender : public RowSink {
 public:
  Appender(duckdb_appender appender, std::vector<std::string> types, bool sameFormat)
      : appender_(appender), types_(std::move(types)), sameFormat_(sameFormat) {}
  bool BeginResult(const std::vector<std::string>&) override { return true; }
  bool AddRow(const CellView* cells, size_t count) override {
    if (InterruptWatch::Requested()) {
      error_ = "interrupted";
      return false;
    }
    for (size_t i = 0; i < count; ++i) {
      if (Append(cells[i], i < types_.size() ? types_[i] : "") != DuckDBSuccess) {
        error_ = AppenderError(appender_);
        return false;
      }
    }
    if (DuckDb()->duckdb_appender_end_row(appender_) != DuckDBSuccess) {
      error_ = AppenderError(appender_);
      return false;
    }
    ++rows_;
    return true;
  }
  // Within one format a nested value goes back in as DuckDB wrote it.
  bool PrefersJson() const override { return !sameFormat_; }
  bool WantsBlobBytes() const override { return true; }

  const std::string& error() const { return error_; }
  uint64_t rows() const { return rows_; }

 private:
  duckdb_state Append(const CellView& cell, const std::string& type) {
    const DuckDbApi& api = *DuckDb();
    if (cell.isNull) return api.duckdb_append_null(appender_);
    const std::string_view text = cell.text;
    if (cell.kind == CellKind::kBlob && type != "VARCHAR") {
      return api.duckdb_append_blob(appender_, text.data(), text.size());
    }
    if (cell.kind == CellKind::kReal && type == "DOUBLE") {
      return api.duckdb_append_double(appender_, std::strtod(std::string(text).c_str(), nullptr));
    }
    if (cell.kind == CellKind::kInteger && type == "BIGINT") {
      return api.duckdb_append_int64(appender_,
                                     std::strtoll(std::string(text).c_str(), nullptr, 10));
    }
    if (cell.kind == CellKind::kInteger && type == "BOOLEAN") {
      return api.duckdb_append_bool(appender_, text == "1");
    }
    if (type == "BLOB") return api.duckdb_append_blob(appender_, text.data(), text.size());
    return api.duckdb_append_varchar_length(appender_, text.data(), text.size());
  }

  duckdb_appender appender_;
  std::vector<std::string> types_;
  bool sameFormat_;
  std::string error_;
  uint64_t rows_ = 0;
};

bool CopyTable(duckdb_connection connection, const TableMeta& table, TableSource& source,
               CopyResult& result, std::string& qualified, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  CensusTaker census;
  const Outcome counted = source.ReadRows(table, census);
  if (!counted.success) {
    error = counted.errorMessage.empty() ? "interrupted" : counted.errorMessage;
    return false;
  }
  const TablePlan plan = PlanTable(table, census.columns(), source, kDuckDbTypes, result.notes);
  qualified = QualifiedTable(plan);
  DuckDbResult created;
  if (api.duckdb_query(connection, CreateTableSql(plan).c_str(), created.get()) != DuckDBSuccess) {
    error = created.Error();
    return false;
  }
  duckdb_appender raw = nullptr;
  const std::string tableName = plan.name.substr(plan.schema.empty() ? 0 : plan.schema.size() + 1);
  const duckdb_state made = api.duckdb_appender_create(
      connection, plan.schema.empty() ? nullptr : plan.schema.c_str(), tableName.c_str(), &raw);
  const DuckDbAppender appender(raw);
  if (made != DuckDBSuccess) {
    error = AppenderError(raw);
    return false;
  }
  std::vector<std::string> types;
  for (const ColumnPlan& column : plan.columns) types.push_back(column.type);
  Appender rows(raw, types, std::string(source.Format()) == kDuckDbTypes.format);
  const Outcome copied = source.ReadRows(table, rows);
  if (!copied.success) {
    error = !rows.error().empty() ? rows.error() : copied.errorMessage;
    return false;
  }
  if (api.duckdb_appender_close(raw) != DuckDBSuccess) {
    error = AppenderError(raw);
    return false;
  }
  ++result.tables;
  result.rows += rows.rows();
  return true;
}

}  // namespace

CopyResult CopyIntoDuckDb(const std::string& path, TableSource& source) {
  CopyResult result;
  std::map<std::string, std::string> copied;  // each table's name in the copy's SQL
  const auto load = [&](duckdb_connection connection, std::string& error) {
    for (const TableMeta& table : source.Tables()) {
      if (!CopyTable(connection, table, source, result, copied[table.name], error)) return false;
    }
    // Built once the rows are in; an index that cannot be made is named, not a failure.
    for (const IndexMeta& index : source.Indexes()) {
      DuckDbResult made;
      const std::string sql = CreateIndexSql(index, copied[index.table]);
      if (DuckDb()->duckdb_query(connection, sql.c_str(), made.get()) != DuckDBSuccess) {
        result.notes.push_back("index " + index.name + ": not copied (" + made.Error() + ")");
      }
    }
    return true;
  };
  const SampleResult made = CreateNewDuckDb(path, load);
  result.success = made.success;
  result.errorMessage = made.errorMessage;
  result.createdFile = made.createdFile;
  for (const std::string& object : source.OtherObjects()) {
    result.notes.push_back(object + ": not copied");
  }
  return result;
}

}  // namespace Corvenmark
