#include "cli/data_diff_report.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/csv.h"
#include "cli/json_text.h"
#include "cli/kept_text.h"
#include "cli/reports.h"
#include "engines/sql_text.h"
#include "platform/ascii.h"
#include "platform/line_end.h"
#include "platform/utf8.h"

namespace Corvenmark {
namespace {

std::string CountsText(const DiffCounts& counts, bool keyed) {
  std::string text = std::to_string(counts.added) + " added, " + std::to_string(counts.removed) +
                     " removed";
  return keyed ? text + ", " + std::to_string(counts.changed) + " changed" : text;
}

// A column's name as the reports write it: as it is when it is a plain word, otherwise as an
// SQL identifier, so that no name reads as a value or a separator.
std::string ColumnName(const std::string& name) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const bool plain = !name.empty() && !digit(name[0]) &&
                     std::all_of(name.begin(), name.end(), [&](char c) {
                       return c == '_' || digit(c) || LowerAscii(c) != UpperAscii(c);
                     });
  return plain ? name : QuotedIdentifier(name);
}

// "name=value" for each of `positions`, joined by `separator`.
std::string NamedValues(const TableComparison& table, const CellView* row,
                        const std::vector<size_t>& positions, const char* separator) {
  std::string text;
  for (const size_t at : positions) {
    if (!text.empty()) text += separator;
    text += ColumnName(table.columns[at]) + "=" + ReportLiteral(row[at]);
  }
  return text;
}

// What names a row in the reports: its key, or, for rows compared whole, every value.
std::string RowName(const TableComparison& table, const CellView* row) {
  if (!table.key.empty()) return NamedValues(table, row, table.key, ", ");
  std::string text = "(";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    text += (i > 0 ? ", " : "") + ReportLiteral(row[i]);
  }
  return text + ")";
}

// The report: a first line of the counts, then per table a summary line, its notes and one line
// per row that differs, kept until the counts are known.
class TsvReport : public DataDiffReport {
 public:
  TsvReport(const DataDiffReportOptions& options, std::ostream& out)
      : DataDiffReport(options, out) {}

  bool TableOnlyIn(const std::string& name, bool inFirst) override {
    return Line("Table " + OnOneLine(name) + ": only in " +
                OnOneLine(inFirst ? options_.first : options_.second) + ", not compared");
  }
  bool BeginTable(const TableComparison& table) override {
    table_ = &table;
    return true;
  }
  bool RowOnlyIn(const CellView* row, bool inFirst) override {
    if (options_.summaryOnly) return true;
    return RowLine((inFirst ? "  - " : "  + ") + RowName(*table_, row));
  }
  bool RowChanged(const CellView* before, const CellView* after,
                  const std::vector<size_t>& changed) override {
    if (options_.summaryOnly) return true;
    std::string line = "  ~ " + RowName(*table_, before) + ":";
    for (size_t i = 0; i < changed.size(); ++i) {
      const size_t at = changed[i];
      line += (i > 0 ? "; " : " ") + ColumnName(table_->columns[at]) + " " + ReportLiteral(before[at]) +
              " -> " + ReportLiteral(after[at]);
    }
    return RowLine(line);
  }
  bool EndTable(const DiffCounts& counts) override {
    const bool keyed = !table_->key.empty();
    std::string how = keyed ? "key " + JoinedNames(KeyColumns()) : "whole rows";
    if (!Line("Table " + OnOneLine(table_->name) + " (" + OnOneLine(how) +
              "): " + CountsText(counts, keyed))) {
      return false;
    }
    for (const std::string& note : table_->notes) {
      if (!Line("  ! " + OnOneLine(note))) return false;
    }
    if (!keyed && !Line("  ! " + OnOneLine(table_->whyWhole) +
                        ": rows compared whole, as added and removed only")) {
      return false;
    }
    return Kept(rows_.MoveTo(body_), rows_.error());
  }
  bool DiscardTable() override {
    rows_.Clear();
    return true;
  }
  bool Finish(const DataDiffOutcome& outcome) override {
    out_ << "Data diff: " << options_.first << " -> " << options_.second << " ("
         << outcome.tables << " tables, " << outcome.totals.added << " rows added, "
         << outcome.totals.removed << " rows removed, " << outcome.totals.changed
         << " rows changed):" << kLineEnd;
    if (!Kept(body_.WriteTo(out_), body_.error())) return false;
    if (!outcome.differs) out_ << "No differences." << kLineEnd;
    return static_cast<bool>(out_);
  }

 private:
  std::vector<std::string> KeyColumns() const {
    std::vector<std::string> names;
    for (const size_t at : table_->key) names.push_back(table_->columns[at]);
    return names;
  }
  bool Line(const std::string& line) {
    return Kept(body_.Append(line) && body_.Append(kLineEnd), body_.error());
  }
  // A backslash is written doubled, so that no value's own backslash reads as an escape.
  bool RowLine(const std::string& line) {
    std::string escaped;
    for (const char c : line) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return Kept(rows_.Append(OnOneLine(escaped)) && rows_.Append(kLineEnd), rows_.error());
  }

  const TableComparison* table_ = nullptr;
  KeptText body_;
  KeptText rows_;
};

// One record per row that differs, written as it is found: its table, the change, its key, and
// its values before and after (the whole row for one added or removed, the changed columns for
// one changed).
class RecordReport : public DataDiffReport {
 public:
  RecordReport(const DataDiffReportOptions& options, std::ostream& out)
      : DataDiffReport(options, out) {
    if (options_.format == OutputFormat::kCsv) {
      std::string head;
      AppendCsvRecord(head, {"table", "change", "key", "before", "after"});
      out_ << head;
    } else if (options_.format == OutputFormat::kJson) {
      std::string head = "{\"first\":";
      AppendJsonString(head, options_.first);
      head += ",\"second\":";
      AppendJsonString(head, options_.second);
      out_ << head << (options_.summaryOnly ? "" : ",\"changes\":[");
    }
  }

  bool TableOnlyIn(const std::string& name, bool inFirst) override {
    tables_ += tables_.empty() ? "" : ",";
    tables_ += "{\"table\":";
    AppendJsonString(tables_, name);
    tables_ += ",\"only_in\":";
    AppendJsonString(tables_, inFirst ? options_.first : options_.second);
    tables_ += '}';
    return true;
  }
  bool BeginTable(const TableComparison& table) override {
    table_ = &table;
    recordsBefore_ = records_;
    return true;
  }
  bool DiscardTable() override {
    rows_.Clear();
    records_ = recordsBefore_;
    return true;
  }
  bool RowOnlyIn(const CellView* row, bool inFirst) override {
    const std::vector<size_t> every = EveryColumn(*table_);
    return Record(inFirst ? "removed" : "added", row, inFirst ? row : nullptr,
                  inFirst ? nullptr : row, every);
  }
  bool RowChanged(const CellView* before, const CellView* after,
                  const std::vector<size_t>& changed) override {
    return Record("changed", before, before, after, changed);
  }
  bool EndTable(const DiffCounts& counts) override {
    tables_ += tables_.empty() ? "" : ",";
    tables_ += "{\"table\":";
    AppendJsonString(tables_, table_->name);
    tables_ += ",\"key\":[";
    for (size_t i = 0; i < table_->key.size(); ++i) {
      if (i > 0) tables_ += ',';
      AppendJsonString(tables_, table_->columns[table_->key[i]]);
    }
    tables_ += "],\"added\":";
    AppendJsonNumber(tables_, static_cast<int64_t>(counts.added));
    tables_ += ",\"removed\":";
    AppendJsonNumber(tables_, static_cast<int64_t>(counts.removed));
    tables_ += ",\"changed\":";
    AppendJsonNumber(tables_, static_cast<int64_t>(counts.changed));
    tables_ += ",\"notes\":[";
    for (size_t i = 0; i < table_->notes.size(); ++i) {
      if (i > 0) tables_ += ',';
      AppendJsonString(tables_, table_->notes[i]);
    }
    tables_ += "]}";
    return Kept(rows_.WriteTo(out_), rows_.error()) && out_;
  }
  bool Finish(const DataDiffOutcome& outcome) override {
    if (options_.format != OutputFormat::kJson) return static_cast<bool>(out_);
    std::string tail = options_.summaryOnly ? "" : "]";
    tail += ",\"tables\":[" + tables_ + "],\"added\":";
    AppendJsonNumber(tail, static_cast<int64_t>(outcome.totals.added));
    tail += ",\"removed\":";
    AppendJsonNumber(tail, static_cast<int64_t>(outcome.totals.removed));
    tail += ",\"changed\":";
    AppendJsonNumber(tail, static_cast<int64_t>(outcome.totals.changed));
    tail += std::string(",\"differs\":") + (outcome.differs ? "true" : "false") + "}";
    out_ << tail << kLineEnd;
    return static_cast<bool>(out_);
  }

 private:
  // A value as JSON, or, for one that JSON would write as another's (a BLOB, a double beyond
  // JSON's numbers, text that is not UTF-8), as {"sql": its literal}.
  static void AppendJsonCell(std::string& out, const CellView& raw) {
    char buffer[32];
    const CellView cell = WithRealText(raw, buffer);
    const bool blob = !cell.isNull && cell.kind == CellKind::kBlob;
    const bool real = !cell.isNull && cell.kind == CellKind::kReal;
    const bool text = !cell.isNull && (cell.kind == CellKind::kText || cell.kind == CellKind::kJson);
    if (blob || (text && !IsUtf8WithoutNul(cell.text)) ||
        (real && !std::isfinite(RealOf(cell)))) {
      out += "{\"sql\":";
      AppendJsonString(out, real ? ReportLiteral(cell) : SqlLiteral(cell, SqlDialect::kSqlite, false));
      out += '}';
    } else {
      AppendJsonValue(out, cell);
    }
  }
  void AppendObject(std::string& out, const CellView* row, const std::vector<size_t>& positions) {
    if (row == nullptr) {
      out += "null";
      return;
    }
    out += '{';
    for (size_t i = 0; i < positions.size(); ++i) {
      if (i > 0) out += ',';
      AppendJsonString(out, table_->columns[positions[i]]);
      out += ':';
      AppendJsonCell(out, row[positions[i]]);
    }
    out += '}';
  }
  bool Record(const char* change, const CellView* keyed, const CellView* before,
              const CellView* after, const std::vector<size_t>& positions) {
    if (options_.summaryOnly) return true;
    std::string record;
    if (options_.format == OutputFormat::kCsv) {
      const auto text = [&](const CellView* row) {
        return row == nullptr ? std::string() : NamedValues(*table_, row, positions, "; ");
      };
      AppendCsvRecord(record, {table_->name, change,
                               table_->key.empty() ? "" : RowName(*table_, keyed), text(before),
                               text(after)});
    } else {
      if (options_.format == OutputFormat::kJson && records_++ > 0) record += ',';
      record += "{\"table\":";
      AppendJsonString(record, table_->name);
      record += ",\"change\":";
      AppendJsonString(record, change);
      record += ",\"key\":";
      AppendObject(record, table_->key.empty() ? nullptr : keyed, table_->key);
      record += ",\"before\":";
      AppendObject(record, before, positions);
      record += ",\"after\":";
      AppendObject(record, after, positions);
      record += '}';
      if (options_.format == OutputFormat::kJsonLines) record += kLineEnd;
    }
    return Kept(rows_.Append(record), rows_.error());
  }

  const TableComparison* table_ = nullptr;
  std::string tables_;  ///< The "tables" of the JSON document, one object per table.
  KeptText rows_;       ///< The table's records, written once it is compared to its end.
  uint64_t records_ = 0;
  uint64_t recordsBefore_ = 0;
};

// The SQL text that turns the first database into the second, in the first's dialect and one
// transaction: every DELETE, then every UPDATE, then every INSERT, so that a row that takes the
// place of a removed one goes in after it is gone. What it cannot bring in line is named in
// comments at its top.
class SqlReport : public DataDiffReport {
 public:
  SqlReport(const DataDiffReportOptions& options, std::ostream& out)
      : DataDiffReport(options, out) {}

  bool TableOnlyIn(const std::string& name, bool inFirst) override {
    notes_.push_back("table " + name + ": only in " +
                     (inFirst ? options_.first : options_.second));
    return true;
  }
  bool BeginTable(const TableComparison& table) override {
    table_ = &table;
    target_ = (table.schema.empty() ? "" : QuotedIdentifier(table.schema) + ".") +
              QuotedIdentifier(table.ownName);
    for (const std::string& note : table.notes) notes_.push_back(table.name + ": " + note);
    for (const std::string& note : table.typeNotes) typeNotes_.push_back(table.name + ": " + note);
    rowid_.clear();
    if (table.key.empty()) {
      // A row without a key is deleted by the row's own number, under a name no column has.
      for (const char* name : {"rowid", "_rowid_", "oid"}) {
        const auto& columns = table.columns;
        if (std::none_of(columns.begin(), columns.end(),
                         [&](const std::string& column) { return EqualIgnoringAsciiCase(column, name); })) {
          rowid_ = name;
          break;
        }
        if (options_.dialect == SqlDialect::kDuckDb) break;
      }
      if (rowid_.empty()) {
        notes_.push_back(table.name + ": rows only in " + options_.first +
                         ": a column takes the name of the row number, so no row is deleted");
      }
    }
    return true;
  }
  bool RowOnlyIn(const CellView* row, bool inFirst) override {
    if (!inFirst) return Insert(row);
    if (!table_->key.empty()) {
      return Statement(tableDeletes_, "DELETE FROM " + target_ + " WHERE " + KeyMatch(row) + ";");
    }
    if (rowid_.empty()) return true;
    // One of the rows of these values, whichever: a table without a key may hold several.
    std::string match;
    for (size_t i = 0; i < table_->columns.size(); ++i) {
      match += (i > 0 ? " AND " : "") + SameValueMatch(table_->columns[i], row[i]);
    }
    return Statement(tableDeletes_, "DELETE FROM " + target_ + " WHERE " + rowid_ + " = (SELECT " +
                                        rowid_ + " FROM " + target_ + " WHERE " + match +
                                        " LIMIT 1);");
  }
  bool RowChanged(const CellView* before, const CellView* after,
                  const std::vector<size_t>& changed) override {
    std::string sets;
    for (const size_t at : changed) {
      if (table_->generated[at]) continue;
      sets += (sets.empty() ? "" : ", ") + QuotedIdentifier(table_->columns[at]) + " = " +
              SecondLiteral(after, at);
    }
    // A generated column changes with the columns it is computed from.
    if (sets.empty()) return true;
    return Statement(tableUpdates_,
                     "UPDATE " + target_ + " SET " + sets + " WHERE " + KeyMatch(before) + ";");
  }
  bool EndTable(const DiffCounts&) override {
    return Kept(tableDeletes_.MoveTo(deletes_), tableDeletes_.error()) &&
           Kept(tableUpdates_.MoveTo(updates_), tableUpdates_.error()) &&
           Kept(tableInserts_.MoveTo(inserts_), tableInserts_.error());
  }
  bool DiscardTable() override {
    for (KeptText* part : {&tableDeletes_, &tableUpdates_, &tableInserts_}) part->Clear();
    return true;
  }
  bool Finish(const DataDiffOutcome&) override {
    std::string head = "-- The statements that turn " + OnOneLine(options_.first) + " into " +
                       OnOneLine(options_.second) + "." + std::string(kLineEnd);
    for (const std::string& note : notes_) {
      head += "-- Not brought in line: " + OnOneLine(note) + std::string(kLineEnd);
    }
    for (const std::string& note : typeNotes_) {
      head += "-- Declared types differ, values may not come in line: " + OnOneLine(note) +
              std::string(kLineEnd);
    }
    out_ << head << "BEGIN;" << kLineEnd;
    for (KeptText* part : {&deletes_, &updates_, &inserts_}) {
      if (!Kept(part->WriteTo(out_), part->error())) return false;
    }
    out_ << "COMMIT;" << kLineEnd;
    return static_cast<bool>(out_);
  }

 private:
  std::string Literal(const CellView& cell, bool ofSecond) const {
    return SqlLiteral(cell, options_.dialect, ofSecond && options_.acrossFormats);
  }
  // The second database's value of column `at` as the first holds it: as its text in a column
  // that is text on one side only, as its bytes in a DuckDB BLOB, which takes nothing else.
  std::string SecondLiteral(const CellView* row, size_t at) const {
    char buffer[32];
    const CellView cell = WithRealText(row[at], buffer);
    const ValueRules rules = table_->rules[at];
    if (rules == ValueRules::kAcrossAsText && !cell.isNull && cell.kind != CellKind::kBlob) {
      return SqlLiteral({cell.text, false, CellKind::kText}, options_.dialect, false);
    }
    if (rules == ValueRules::kAcrossAsBytes && !cell.isNull &&
        options_.dialect == SqlDialect::kDuckDb && table_->firstFamilies[at] == TypeFamily::kBlob) {
      return SqlLiteral({cell.text, false, CellKind::kBlob}, options_.dialect, false);
    }
    return Literal(cell, true);
  }
  // The first database's key of a row, as a condition.
  std::string KeyMatch(const CellView* row) const {
    std::string match;
    for (const size_t at : table_->key) {
      match += (match.empty() ? "" : " AND ") + QuotedIdentifier(table_->columns[at]) +
               (row[at].isNull ? " IS NULL" : " = " + Literal(row[at], false));
    }
    return match;
  }
  bool Insert(const CellView* row) {
    std::vector<std::string> columns;
    std::string values;
    for (size_t i = 0; i < table_->columns.size(); ++i) {
      if (table_->generated[i]) continue;
      columns.push_back(table_->columns[i]);
      values += (values.empty() ? "" : ", ") + SecondLiteral(row, i);
    }
    return Statement(tableInserts_, "INSERT INTO " + target_ + " (" +
                                        JoinedNames(columns, true) + ") VALUES (" + values + ");");
  }
  // A condition true of a value of the first database's exactly: of its kind, its bytes
  // compared as they are, whatever the column's collation.
  std::string SameValueMatch(const std::string& column, const CellView& value) const {
    const std::string name = QuotedIdentifier(column);
    if (value.isNull) return name + " IS NULL";
    if (options_.dialect == SqlDialect::kDuckDb) {
      return name + " IS NOT DISTINCT FROM " + Literal(value, false);
    }
    const char* type = value.kind == CellKind::kInteger ? "integer"
                       : value.kind == CellKind::kBlob  ? "blob"
                       : value.kind == CellKind::kReal || value.kind == CellKind::kDouble
                           ? "real"
                           : "text";
    return "(" + name + " = " + Literal(value, false) + " COLLATE BINARY AND typeof(" + name +
           ") = '" + type + "')";
  }
  bool Statement(KeptText& part, const std::string& sql) {
    return Kept(part.Append(sql) && part.Append(kLineEnd), part.error());
  }

  const TableComparison* table_ = nullptr;
  std::string target_;  ///< The table as the first database's SQL names it.
  std::string rowid_;   ///< The name of a row's number, for a table without a key.
  std::vector<std::string> notes_;
  std::vector<std::string> typeNotes_;
  KeptText deletes_;
  KeptText updates_;
  KeptText inserts_;
  KeptText tableDeletes_;  ///< The table's, until it is compared to its end.
  KeptText tableUpdates_;
  KeptText tableInserts_;
};

}  // namespace

std::unique_ptr<DataDiffReport> DataDiffReport::For(const DataDiffReportOptions& options,
                                                    std::ostream& out) {
  switch (options.format) {
    case OutputFormat::kTsv:
      return std::make_unique<TsvReport>(options, out);
    case OutputFormat::kSql:
      return std::make_unique<SqlReport>(options, out);
    default:
      return std::make_unique<RecordReport>(options, out);
  }
}

}  // namespace Corvenmark
