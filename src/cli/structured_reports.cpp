#include "cli/structured_reports.h"

#include "cli/json_text.h"
#include "platform/line_end.h"
#include "cli/query_report.h"
#include "cli/reports.h"

namespace Corvenmark {
namespace {

// Builds a JSON document as text, one value after another; a comma goes in before each member
// or element but the first.
class Json {
 public:
  Json& Begin(char bracket) {
    Separate();
    text_ += bracket;
    first_ = true;
    return *this;
  }
  Json& End(char bracket) {
    text_ += bracket;
    first_ = false;
    return *this;
  }
  Json& Key(const char* key) {
    Separate();
    AppendJsonString(text_, key);
    text_ += ':';
    first_ = true;  // the value follows without a comma
    return *this;
  }
  Json& Text(const std::string& value) {
    Separate();
    AppendJsonString(text_, value);
    return *this;
  }
  Json& TextOrNull(const std::string& value) { return value.empty() ? Raw("null") : Text(value); }
  Json& Number(int64_t value) {
    Separate();
    AppendJsonNumber(text_, value);
    return *this;
  }
  Json& Flag(bool value) { return Raw(value ? "true" : "false"); }
  Json& Raw(const char* value) {
    Separate();
    text_ += value;
    return *this;
  }
  void WriteLine(std::ostream& out) { out << text_ << kLineEnd; }

 private:
  void Separate() {
    if (!first_) text_ += ',';
    first_ = false;
  }

  std::string text_;
  bool first_ = true;
};

// The records of a report, written as CSV or a table by the query report's own writer.
class Records {
 public:
  explicit Records(OutputFormat format) : report_({size_t{32} << 20, "", format}) {}
  Records& Columns(const std::vector<std::string>& columns) {
    report_.BeginResult(columns);
    return *this;
  }
  Records& Text(const std::string& value) { return Add(value, CellKind::kText); }
  Records& TextOrNull(const std::string& value) {
    return value.empty() ? Null() : Add(value, CellKind::kText);
  }
  Records& Number(int64_t value) { return Add(std::to_string(value), CellKind::kInteger); }
  Records& Flag(bool value) { return Add(value ? "true" : "false", CellKind::kBoolean); }
  Records& Null() {
    texts_.emplace_back();
    kinds_.push_back(CellKind::kText);
    nulls_.push_back(true);
    return *this;
  }
  Records& EndRecord() {
    std::vector<CellView> cells;
    for (size_t i = 0; i < texts_.size(); ++i) cells.push_back({texts_[i], nulls_[i], kinds_[i]});
    report_.AddRow(cells.data(), cells.size());
    texts_.clear();
    kinds_.clear();
    nulls_.clear();
    return *this;
  }
  void Write(std::ostream& out) { report_.Write(out, 0); }

 private:
  Records& Add(std::string text, CellKind kind) {
    texts_.push_back(std::move(text));
    kinds_.push_back(kind);
    nulls_.push_back(false);
    return *this;
  }

  QueryReport report_;
  std::vector<std::string> texts_;
  std::vector<CellKind> kinds_;
  std::vector<bool> nulls_;
};

void AddColumn(Json& json, const ColumnMeta& column) {
  json.Begin('{').Key("name").Text(column.name).Key("type").Text(column.type);
  json.Key("primaryKey").Flag(column.primaryKey).End('}');
}

}  // namespace

void WriteSchemaAs(OutputFormat format, std::ostream& out, const std::string& dbPath,
                   const std::vector<TableMeta>& tables) {
  if (format == OutputFormat::kJson) {
    Json json;
    json.Begin('{').Key("database").Text(dbPath).Key("tables").Begin('[');
    for (const TableMeta& table : tables) {
      json.Begin('{').Key("name").Text(table.name).Key("schema").TextOrNull(table.schema);
      json.Key("rowCount");
      if (table.rowCount < 0) json.Raw("null");  // a table that could not be read
      if (table.rowCount >= 0) json.Number(table.rowCount);
      json.Key("columns").Begin('[');
      for (const ColumnMeta& column : table.columns) {
        json.Begin('{').Key("name").Text(column.name).Key("type").Text(column.type);
        json.Key("primaryKey").Flag(column.primaryKey).Key("notNull").Flag(column.notNull);
        json.Key("default").TextOrNull(column.defaultValue).End('}');
      }
      json.End(']').End('}');
    }
    json.End(']').End('}').WriteLine(out);
    return;
  }
  Records records(format);
  records.Columns(
      {"table", "schema", "row_count", "column", "type", "primary_key", "not_null", "default"});
  for (const TableMeta& table : tables) {
    const auto begin = [&]() -> Records& {
      records.Text(table.name).TextOrNull(table.schema);
      return table.rowCount < 0 ? records.Null() : records.Number(table.rowCount);
    };
    if (table.columns.empty()) begin().Null().Null().Null().Null().Null().EndRecord();
    for (const ColumnMeta& column : table.columns) {
      begin().Text(column.name).Text(column.type).Flag(column.primaryKey).Flag(column.notNull);
      records.TextOrNull(column.defaultValue).EndRecord();
    }
  }
  records.Write(out);
}

void WriteDiagnosticsAs(OutputFormat format, std::ostream& out, const DbDiagnostics& diagnostics) {
  const char* integrity = !diagnostics.integrityChecked ? "not checked"
                          : diagnostics.integrityOk     ? "pass"
                                                        : "fail";
  const int64_t kilobytes = StorageKilobytes(diagnostics.pageCount, diagnostics.pageSize);
  if (format == OutputFormat::kJson) {
    Json json;
    json.Begin('{').Key("integrity").Text(integrity);
    json.Key("integrityProblem").TextOrNull(diagnostics.integrityUnchecked);
    json.Key("journalMode").Text(diagnostics.journalMode);
    json.Key("pageSize")
        .Number(diagnostics.pageSize)
        .Key("pageCount")
        .Number(diagnostics.pageCount);
    json.Key("kilobytes").Number(kilobytes).Key("freelistCount").Number(diagnostics.freelistCount);
    json.End('}').WriteLine(out);
    return;
  }
  Records records(format);
  records.Columns({"integrity", "integrity_problem", "journal_mode", "page_size", "page_count",
                   "kilobytes", "freelist_count"});
  records.Text(integrity).TextOrNull(diagnostics.integrityUnchecked).Text(diagnostics.journalMode);
  records.Number(diagnostics.pageSize).Number(diagnostics.pageCount).Number(kilobytes);
  records.Number(diagnostics.freelistCount).EndRecord().Write(out);
}

void WriteSchemaDiffAs(OutputFormat format, std::ostream& out, const std::string& firstPath,
                       const std::string& secondPath, const SchemaDiff& diff) {
  if (format == OutputFormat::kJson) {
    Json json;
    json.Begin('{').Key("first").Text(firstPath).Key("second").Text(secondPath);
    json.Key("differences").Number(static_cast<int64_t>(CountDifferences(diff)));
    json.Key("tablesOnlyInFirst").Begin('[');
    for (const std::string& table : diff.tablesOnlyInFirst) json.Text(table);
    json.End(']').Key("tablesOnlyInSecond").Begin('[');
    for (const std::string& table : diff.tablesOnlyInSecond) json.Text(table);
    json.End(']').Key("changedTables").Begin('[');
    for (const TableChange& change : diff.changedTables) {
      json.Begin('{').Key("table").Text(change.table).Key("addedColumns").Begin('[');
      for (const ColumnMeta& column : change.addedColumns) AddColumn(json, column);
      json.End(']').Key("removedColumns").Begin('[');
      for (const ColumnMeta& column : change.removedColumns) AddColumn(json, column);
      json.End(']').Key("changedColumns").Begin('[');
      for (const ColumnChange& column : change.changedColumns) {
        json.Begin('{').Key("name").Text(column.name);
        json.Key("typeBefore").Text(column.typeBefore).Key("typeAfter").Text(column.typeAfter);
        json.Key("primaryKeyBefore").Flag(column.primaryKeyBefore);
        json.Key("primaryKeyAfter").Flag(column.primaryKeyAfter).End('}');
      }
      json.End(']').End('}');
    }
    json.End(']');
    // Only where there are any, so that a report of none reads as it always has.
    if (!diff.detailChanges.empty()) json.Key("otherChanges").Begin('[');
    for (const DetailChange& change : diff.detailChanges) {
      json.Begin('{').Key("change").Text(std::string(1, change.sign)).Key("kind").Text(change.kind);
      json.Key("name").Text(change.name).Key("before").TextOrNull(change.before);
      json.Key("after").TextOrNull(change.after).End('}');
    }
    if (!diff.detailChanges.empty()) json.End(']');
    json.End('}').WriteLine(out);
    return;
  }
  Records records(format);
  records.Columns({"change", "table", "column", "type_before", "type_after", "primary_key_before",
                   "primary_key_after"});
  for (const std::string& table : diff.tablesOnlyInFirst) {
    records.Text("table only in first").Text(table).Null().Null().Null().Null().Null().EndRecord();
  }
  for (const std::string& table : diff.tablesOnlyInSecond) {
    records.Text("table only in second").Text(table).Null().Null().Null().Null().Null();
    records.EndRecord();
  }
  for (const TableChange& change : diff.changedTables) {
    for (const ColumnMeta& column : change.removedColumns) {
      records.Text("column removed").Text(change.table).Text(column.name).Text(column.type);
      records.Null().Flag(column.primaryKey).Null().EndRecord();
    }
    for (const ColumnMeta& column : change.addedColumns) {
      records.Text("column added").Text(change.table).Text(column.name).Null().Text(column.type);
      records.Null().Flag(column.primaryKey).EndRecord();
    }
    for (const ColumnChange& column : change.changedColumns) {
      records.Text("column changed").Text(change.table).Text(column.name);
      records.Text(column.typeBefore).Text(column.typeAfter).Flag(column.primaryKeyBefore);
      records.Flag(column.primaryKeyAfter).EndRecord();
    }
  }
  // The other differences: what differs in the table column, as before and after.
  for (const DetailChange& change : diff.detailChanges) {
    const char* how = change.sign == '-' ? " removed" : change.sign == '+' ? " added" : " changed";
    records.Text(change.kind + how).Text(change.name).Null().TextOrNull(change.before);
    records.TextOrNull(change.after).Null().Null().EndRecord();
  }
  records.Write(out);
}

void WriteCopyAs(std::ostream& out, const std::string& source, const std::string& target,
                 const CopyResult& copy) {
  Json json;
  json.Begin('{').Key("source").Text(source).Key("target").Text(target);
  json.Key("tables").Number(static_cast<int64_t>(copy.tables));
  json.Key("rows").Number(static_cast<int64_t>(copy.rows)).Key("notes").Begin('[');
  for (const std::string& note : copy.notes) json.Text(note);
  json.End(']').End('}').WriteLine(out);
}

void WriteSampleAs(OutputFormat format, std::ostream& out, const std::string& status,
                   const std::string& outPath) {
  if (format == OutputFormat::kJson) {
    Json json;
    json.Begin('{').Key("status").Text(status).Key("path").Text(outPath).End('}').WriteLine(out);
    return;
  }
  Records(format).Columns({"status", "path"}).Text(status).Text(outPath).EndRecord().Write(out);
}

}  // namespace Corvenmark
