#include "cli/data_diff.h"

#include <cassert>
#include <cstring>
#include <memory>
#include <utility>

#include "cli/row_cursor.h"
#include "cli/schema_diff.h"
#include "cli/sorted_rows.h"
#include "engines/row_batch.h"
#include "engines/sql_text.h"
#include "platform/ascii.h"

namespace Corvenmark {
namespace {

constexpr uint64_t kProgressEvery = 1 << 16;

const ColumnMeta* ColumnNamed(const TableMeta& table, const std::string& column) {
  for (const ColumnMeta& meta : table.columns) {
    if (EqualIgnoringAsciiCase(meta.name, column)) return &meta;
  }
  return nullptr;
}

TypeFamily FamilyOf(const Engine& engine, const TableMeta& table, const std::string& column) {
  const ColumnMeta* meta = ColumnNamed(table, column);
  if (meta == nullptr || engine.typeFamily == nullptr) return TypeFamily::kOther;
  return engine.typeFamily(meta->type);
}

// True for the families whose values both formats write as text.
bool IsTextual(TypeFamily family) {
  switch (family) {
    case TypeFamily::kText:
    case TypeFamily::kDate:
    case TypeFamily::kTime:
    case TypeFamily::kTimestamp:
    case TypeFamily::kInterval:
    case TypeFamily::kUuid:
    case TypeFamily::kNested:
      return true;
    default:
      return false;
  }
}

// Why the rows of the two tables cannot be paired by their primary keys; empty when they can:
// both have one, of the same columns in the same order, each of one family of types on both
// sides (INTEGER and BIGINT pair, TEXT and INTEGER do not).
std::string WhyNotKeyed(const TableMeta& first, const TableMeta& second, const DiffSide& a,
                        const DiffSide& b) {
  if (first.primaryKey.empty() && second.primaryKey.empty()) return "no primary key";
  if (first.primaryKey.empty() || second.primaryKey.empty()) {
    return "a primary key only in " + (first.primaryKey.empty() ? b.location : a.location);
  }
  bool same = first.primaryKey.size() == second.primaryKey.size();
  for (size_t i = 0; same && i < first.primaryKey.size(); ++i) {
    same = EqualIgnoringAsciiCase(first.primaryKey[i], second.primaryKey[i]) &&
           FamilyOf(a.engine, first, first.primaryKey[i]) ==
               FamilyOf(b.engine, second, second.primaryKey[i]);
  }
  if (same) return "";
  const auto keyText = [](const TableMeta& table) {
    std::string text;
    for (const std::string& column : table.primaryKey) {
      const ColumnMeta* meta = ColumnNamed(table, column);
      text += (text.empty() ? "" : ", ") + column +
              (meta != nullptr && !meta->type.empty() ? " " + meta->type : "");
    }
    return "(" + text + ")";
  };
  return "primary keys differ: " + keyText(first) + " and " + keyText(second);
}

// True when `side`'s format keeps each value of its own kind whatever its column's type, as
// SQLite does (but in STRICT tables): a column of BLOB or of no type holds numbers and texts.
bool KeepsEveryKind(const DiffSide& side) { return std::strcmp(side.engine.format, "SQLite") == 0; }

// True when `side`'s engine reads the rows of a key of these columns in the order CompareValues
// puts them. SQLite orders its values as the comparison does; DuckDB orders dates, times and
// intervals by what they mean, which their texts need not follow.
bool OrdersLikeComparison(const DiffSide& side, const TableMeta& table, ValueRules rules) {
  if (KeepsEveryKind(side)) return true;
  for (const std::string& column : table.primaryKey) {
    switch (FamilyOf(side.engine, table, column)) {
      case TypeFamily::kInteger:
      case TypeFamily::kFloatingPoint:
      case TypeFamily::kText:
      case TypeFamily::kBlob:
      case TypeFamily::kBoolean:
        break;
      case TypeFamily::kDecimal:
        if (rules == ValueRules::kOneFormat) break;
        return false;
      default:
        return false;
    }
  }
  return true;
}

// Orders rows of a table's compared columns by the values at `positions`, in turn, each
// compared by its column's rules.
RowOrdering OrderingBy(std::vector<size_t> positions, std::vector<ValueRules> rules) {
  return [positions = std::move(positions), rules = std::move(rules)](const CellView* a,
                                                                      const CellView* b) {
    for (const size_t at : positions) {
      const int order = CompareValues(a[at], b[at], rules[at]);
      if (order != 0) return order;
    }
    return 0;
  };
}

// One side's rows as the merge takes them: each with the cells of the compared columns, in
// their order, and, when checked, each key after the one before.
class MergeSide {
 public:
  MergeSide(const std::vector<size_t>& positions, const RowOrdering* checkedBy,
            const std::vector<size_t>& key)
      : positions_(positions), checkedBy_(checkedBy), key_(key), row_(positions.size()),
        previousRow_(positions.size()) {}

  const CellView* row() const { return present_ ? row_.data() : nullptr; }
  bool outOfOrder() const { return outOfOrder_; }

  /// Takes `next`, a row of the side's own columns, or the end of the rows for null.
  void Take(const CellView* next) {
    present_ = next != nullptr;
    if (!present_) return;
    for (size_t i = 0; i < positions_.size(); ++i) row_[i] = next[positions_[i]];
    if (checkedBy_ == nullptr) return;
    if (hasPrevious_ && (*checkedBy_)(previousRow_.data(), row_.data()) >= 0) outOfOrder_ = true;
    previous_.Clear();
    for (size_t i = 0; i < key_.size(); ++i) previous_.Add(&row_[key_[i]], 1);
    for (size_t i = 0; i < key_.size(); ++i) previousRow_[key_[i]] = previous_.View(i);
    hasPrevious_ = true;
  }

 private:
  const std::vector<size_t>& positions_;
  const RowOrdering* checkedBy_;
  const std::vector<size_t>& key_;
  std::vector<CellView> row_;
  bool present_ = false;
  bool outOfOrder_ = false;
  RowBatch previous_;
  std::vector<CellView> previousRow_;  ///< The key's cells of the row before; no others.
  bool hasPrevious_ = false;
};

// The positions in `columns` of each of `names`, compared without regard to ASCII case; false
// when one is not there.
bool PositionsOf(const std::vector<std::string>& names, const std::vector<std::string>& columns,
                 std::vector<size_t>& positions) {
  positions.clear();
  for (const std::string& name : names) {
    size_t at = 0;
    while (at < columns.size() && !EqualIgnoringAsciiCase(columns[at], name)) ++at;
    if (at == columns.size()) return false;
    positions.push_back(at);
  }
  return true;
}

class TableDiff {
 public:
  TableDiff(const DiffSide& first, const DiffSide& second, ValueRules rules, DataDiffSink& sink,
            const DiffProgress& progress, DataDiffOutcome& outcome)
      : sides_{&first, &second}, rules_(rules), sink_(sink), progress_(progress),
        outcome_(outcome) {}

  bool Compare(const TableMeta& first, const TableMeta& second);

 private:
  bool Fail(int side, std::string message) {
    outcome_.failedSide = side;
    outcome_.errorMessage = std::move(message);
    return false;
  }
  enum class Pass { kAsStored, kInKeyOrder, kWhole };
  enum class Ended { kDone, kFailed, kOutOfOrder };
  class SecondRows;
  Ended Stopped() {
    Fail(-1, "");
    return Ended::kFailed;
  }
  bool Plan(const TableMeta& first, const TableMeta& second, const std::vector<std::string>& a,
            const std::vector<std::string>& b);
  /// Sets how the merge orders and checks rows, for the key the plan has.
  void Replan() {
    mergeOrder_ = table_.key.empty()
                      ? OrderingBy(EveryColumn(table_), table_.rules)
                      : keyOrder_;
    checkedBy_ = table_.key.empty() ? nullptr : &keyOrder_;
  }
  Ended RunPass(Pass pass, const TableMeta* tables[2]);
  bool Push(const CellView* row);
  bool MergeUpTo(MergeSide& first, RowCursor& firstRows, const MergeSide& second);
  bool Sort(ThreadedRows& reader, int side, std::unique_ptr<SortedRows>& sorted);
  bool Finished(ThreadedRows& reader, int side);
  // Within one format types compare as written; across formats by family.
  bool SameDeclaredType(const ColumnMeta& a, const ColumnMeta& b, const TableMeta& first,
                        const TableMeta& second) const {
    if (rules_ == ValueRules::kOneFormat) return EqualIgnoringAsciiCase(a.type, b.type);
    return FamilyOf(sides_[0]->engine, first, a.name) == FamilyOf(sides_[1]->engine, second, b.name);
  }
  ValueRules RulesOf(const TableMeta& first, const TableMeta& second, const std::string& a,
                     const std::string& b) const {
    if (rules_ == ValueRules::kOneFormat) return rules_;
    const TypeFamily families[2] = {FamilyOf(sides_[0]->engine, first, a),
                                    FamilyOf(sides_[1]->engine, second, b)};
    for (int side = 0; side < 2; ++side) {
      if (families[side] == TypeFamily::kBlob && !KeepsEveryKind(*sides_[side])) {
        return ValueRules::kAcrossAsBytes;
      }
    }
    return IsTextual(families[0]) != IsTextual(families[1]) ? ValueRules::kAcrossAsText : rules_;
  }

  const DiffSide* sides_[2];
  ValueRules rules_;
  DataDiffSink& sink_;
  const DiffProgress& progress_;
  DataDiffOutcome& outcome_;
  TableComparison table_;
  std::vector<size_t> positions_[2];  ///< Of the compared columns in each side's rows.
  std::vector<size_t> same_;  ///< Of the compared columns in rows sorted here: each as it is.
  RowOrdering keyOrder_;
  RowOrdering mergeOrder_;
  const RowOrdering* checkedBy_ = nullptr;
  bool planned_ = false;
  // The pass's merge.
  RowCursor* firstRows_ = nullptr;
  bool firstSorted_ = false;
  bool secondSorted_ = false;
  std::unique_ptr<MergeSide> first_;
  std::unique_ptr<MergeSide> second_;
  std::vector<size_t> changed_;
  DiffCounts counts_;
  uint64_t merged_ = 0;
};

// The compared columns, the key and the notes, from the columns each read gives.
bool TableDiff::Plan(const TableMeta& first, const TableMeta& second,
                     const std::vector<std::string>& a, const std::vector<std::string>& b) {
  table_.name = first.name;
  table_.schema = first.schema;
  table_.ownName = first.ownName.empty() ? first.name : first.ownName;
  for (size_t i = 0; i < a.size(); ++i) {
    std::vector<size_t> match;
    if (PositionsOf({a[i]}, b, match)) {
      table_.columns.push_back(a[i]);
      table_.rules.push_back(RulesOf(first, second, a[i], b[match[0]]));
      table_.firstFamilies.push_back(FamilyOf(sides_[0]->engine, first, a[i]));
      const ColumnMeta* declared[2] = {ColumnNamed(first, a[i]), ColumnNamed(second, b[match[0]])};
      table_.generated.push_back(declared[0] != nullptr && declared[0]->generated);
      if (declared[0] != nullptr && declared[1] != nullptr &&
          !SameDeclaredType(*declared[0], *declared[1], first, second)) {
        table_.typeNotes.push_back("column " + a[i] + ": " + declared[0]->type + " in " +
                                   sides_[0]->location + ", " + declared[1]->type + " in " +
                                   sides_[1]->location);
      }
      positions_[0].push_back(i);
      positions_[1].push_back(match[0]);
    } else {
      table_.notes.push_back("column " + a[i] + ": only in " + sides_[0]->location);
    }
  }
  for (const std::string& column : b) {
    std::vector<size_t> match;
    if (!PositionsOf({column}, a, match)) {
      table_.notes.push_back("column " + column + ": only in " + sides_[1]->location);
    }
  }
  if (!table_.notes.empty()) outcome_.differs = true;
  table_.whyWhole = WhyNotKeyed(first, second, *sides_[0], *sides_[1]);
  if (table_.whyWhole.empty() && !PositionsOf(first.primaryKey, table_.columns, table_.key)) {
    return Fail(-1, "the primary key of " + table_.name + " is not among its columns read");
  }
  keyOrder_ = OrderingBy(table_.key, table_.rules);
  Replan();
  same_ = EveryColumn(table_);
  planned_ = true;
  return sink_.BeginTable(table_) || Fail(-1, "");
}

bool TableDiff::Finished(ThreadedRows& reader, int side) {
  const Outcome outcome = reader.Finish();
  if (outcome.success) return true;
  return Fail(side, outcome.errorMessage.empty() ? "the read stopped" : outcome.errorMessage);
}

// Every row of `reader`'s, of the compared columns, put in the merge's order.
bool TableDiff::Sort(ThreadedRows& reader, int side, std::unique_ptr<SortedRows>& sorted) {
  sorted = std::make_unique<SortedRows>(table_.columns.size(), mergeOrder_);
  std::vector<CellView> row(table_.columns.size());
  std::string error;
  while (const CellView* next = reader.Next()) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = next[positions_[side][i]];
    if (!sorted->Add(row.data(), error)) return Fail(-1, error);
  }
  if (!Finished(reader, side)) return false;
  return sorted->Sort(error) || Fail(-1, error);
}

// Merges the second side's row that `second` holds, or the end of its rows, with the first
// side's rows up to it. False to stop: a sink that stopped, or a key out of order.
bool TableDiff::MergeUpTo(MergeSide& first, RowCursor& firstRows, const MergeSide& second) {
  const CellView* after = second.row();
  for (;;) {
    if (first.outOfOrder() || second.outOfOrder()) return false;
    const CellView* before = first.row();
    if (before == nullptr) break;
    const int order = after == nullptr ? -1 : mergeOrder_(before, after);
    if (order > 0) break;
    if (order < 0) {
      if (!sink_.RowOnlyIn(before, true)) return Fail(-1, "");
      ++counts_.removed;
      first.Take(firstRows.Next());
      continue;
    }
    changed_.clear();
    for (size_t i = 0; !table_.key.empty() && i < table_.columns.size(); ++i) {
      if (!SameValue(before[i], after[i], table_.rules[i])) changed_.push_back(i);
    }
    if (!changed_.empty()) {
      if (!sink_.RowChanged(before, after, changed_)) return Fail(-1, "");
      ++counts_.changed;
    }
    first.Take(firstRows.Next());
    return true;
  }
  if (after == nullptr) return true;
  if (!sink_.RowOnlyIn(after, false)) return Fail(-1, "");
  ++counts_.added;
  return true;
}

// A row of the second side into the merge, or the end of its rows for null; false to stop.
bool TableDiff::Push(const CellView* row) {
  if (!first_) {
    first_ = std::make_unique<MergeSide>(firstSorted_ ? same_ : positions_[0], checkedBy_,
                                         table_.key);
    second_ = std::make_unique<MergeSide>(secondSorted_ ? same_ : positions_[1], checkedBy_,
                                          table_.key);
    first_->Take(firstRows_->Next());
  }
  if (progress_ && ++merged_ % kProgressEvery == 0) progress_(table_.name, merged_);
  second_->Take(row);
  return MergeUpTo(*first_, *firstRows_, *second_);
}

// The second side's rows, pushed into the merge as its engine reads them; the columns of the
// first call plan the table.
class TableDiff::SecondRows : public RowSink {
 public:
  SecondRows(TableDiff& diff, const TableMeta* tables[2], const std::vector<std::string>& first)
      : diff_(diff), tables_(tables), first_(first) {}
  bool BeginResult(const std::vector<std::string>& columns) override {
    return diff_.planned_ || diff_.Plan(*tables_[0], *tables_[1], first_, columns);
  }
  bool AddRow(const CellView* cells, size_t) override { return diff_.Push(cells); }
  bool WantsNativeValues() const override { return true; }
  bool WantsDoubleBits() const override { return true; }
  bool PrefersJson() const override { return diff_.rules_ != ValueRules::kOneFormat; }

 private:
  TableDiff& diff_;
  const TableMeta** tables_;
  const std::vector<std::string>& first_;
};

// One pass over both tables: each read as stored, or (kInKeyOrder) in key order by an engine
// that orders as the comparison does and sorted here otherwise, or (kWhole) sorted here whole.
// The first is read on a thread of its own; the second, unless sorted, on this one, each of its
// rows merged as it comes.
TableDiff::Ended TableDiff::RunPass(Pass pass, const TableMeta* tables[2]) {
  // A copy into the other format writes a nested value as its JSON.
  const bool nestedAsJson = rules_ != ValueRules::kOneFormat;
  RowOrder orders[2] = {RowOrder::kAsStored, RowOrder::kAsStored};
  bool sorts[2] = {};
  for (int side = 0; side < 2; ++side) {
    const bool engineOrders =
        pass == Pass::kInKeyOrder && OrdersLikeComparison(*sides_[side], *tables[side], rules_);
    if (engineOrders) orders[side] = RowOrder::kByPrimaryKey;
    sorts[side] = pass == Pass::kWhole || (pass == Pass::kInKeyOrder && !engineOrders);
  }
  ThreadedRows firstReader(sides_[0]->database, *tables[0], orders[0], nestedAsJson);
  if (!firstReader.Begin()) return Finished(firstReader, 0) ? Stopped() : Ended::kFailed;
  std::unique_ptr<SortedRows> sorted[2];
  if (sorts[1]) {
    ThreadedRows secondReader(sides_[1]->database, *tables[1], orders[1], nestedAsJson);
    if (!secondReader.Begin()) return Finished(secondReader, 1) ? Stopped() : Ended::kFailed;
    if (!planned_ && !Plan(*tables[0], *tables[1], firstReader.Columns(), secondReader.Columns())) {
      return Stopped();
    }
    if (!Sort(secondReader, 1, sorted[1])) return Ended::kFailed;
  }
  // A table is planned before its first side is sorted: only a pass that sorts both sorts it
  // first.
  assert(planned_ || !sorts[0]);
  if (sorts[0] && !Sort(firstReader, 0, sorted[0])) return Ended::kFailed;
  firstRows_ = sorts[0] ? static_cast<RowCursor*>(sorted[0].get()) : &firstReader;
  firstSorted_ = sorts[0];
  secondSorted_ = sorts[1];
  first_.reset();
  second_.reset();
  bool merged = true;
  if (sorts[1]) {
    while (merged) {
      const CellView* row = sorted[1]->Next();
      if (row == nullptr) break;
      merged = Push(row);
    }
  } else {
    SecondRows rows(*this, tables, firstReader.Columns());
    const Outcome outcome = sides_[1]->database.ReadRows(*tables[1], rows, orders[1]);
    if (!outcome.success && !outcome.errorMessage.empty()) {
      Fail(1, outcome.errorMessage);
      return Ended::kFailed;
    }
    merged = outcome.success;
  }
  if (!outcome_.errorMessage.empty()) return Ended::kFailed;
  if (merged) merged = planned_ && Push(nullptr);
  if ((first_ && first_->outOfOrder()) || (second_ && second_->outOfOrder())) {
    return Ended::kOutOfOrder;
  }
  if (!merged) return Stopped();
  if (!sorts[0] && !Finished(firstReader, 0)) return Ended::kFailed;
  for (const auto& rows : sorted) {
    if (rows && !rows->error().empty()) {
      Fail(-1, rows->error());
      return Ended::kFailed;
    }
  }
  return Ended::kDone;
}

// Rows paired by key are read as stored first, which is key order for most tables; rows that
// come out of order start the table again in key order, and a key that holds one value twice
// (SQLite lets a key hold NULL more than once) starts it again with rows compared whole.
bool TableDiff::Compare(const TableMeta& first, const TableMeta& second) {
  const TableMeta* tables[2] = {&first, &second};
  Pass pass = WhyNotKeyed(first, second, *sides_[0], *sides_[1]).empty() ? Pass::kAsStored
                                                                          : Pass::kWhole;
  for (;;) {
    const Ended ended = RunPass(pass, tables);
    if (ended == Ended::kFailed) return false;
    if (ended == Ended::kDone) break;
    if (!sink_.DiscardTable()) return Fail(-1, "");
    counts_ = DiffCounts();
    if (pass == Pass::kAsStored) {
      pass = Pass::kInKeyOrder;
      continue;
    }
    pass = Pass::kWhole;
    table_.key.clear();
    table_.whyWhole = "its primary key holds one value twice";
    Replan();
  }
  outcome_.totals.added += counts_.added;
  outcome_.totals.removed += counts_.removed;
  outcome_.totals.changed += counts_.changed;
  outcome_.differs = outcome_.differs || counts_.added + counts_.removed + counts_.changed > 0;
  return sink_.EndTable(counts_) || Fail(-1, "");
}

// The pairs to compare: every pair, or the one whose table, in either database, `name` names
// (exactly, or else without regard to ASCII case).
bool SelectPairs(std::vector<TablePair>& pairs, const std::string& name, std::string& error) {
  if (name.empty()) return true;
  // A table is named as the listing shows it, or by its schema and own name ("main.t").
  const auto named = [&](const TablePair& pair, bool exactly) {
    for (const TableMeta* table : {pair.first, pair.second}) {
      if (table == nullptr) continue;
      const std::string own = table->ownName.empty() ? table->name : table->ownName;
      for (const std::string& spelling :
           {table->name, (table->schema.empty() ? "main" : table->schema) + "." + own}) {
        if (exactly ? spelling == name : EqualIgnoringAsciiCase(spelling, name)) return true;
      }
    }
    return false;
  };
  for (const bool exactly : {true, false}) {
    for (const TablePair& pair : pairs) {
      if (!named(pair, exactly)) continue;
      pairs = {pair};
      return true;
    }
  }
  error = "no table " + name + " in either database";
  return false;
}

}  // namespace

std::vector<size_t> EveryColumn(const TableComparison& table) {
  std::vector<size_t> positions(table.columns.size());
  for (size_t i = 0; i < positions.size(); ++i) positions[i] = i;
  return positions;
}

DataDiffOutcome DiffData(const DiffSide& first, const DiffSide& second, ValueRules rules,
                         const std::string& onlyTable, DataDiffSink& sink,
                         const DiffProgress& progress) {
  DataDiffOutcome outcome;
  std::vector<TablePair> pairs =
      PairedTables(first.schema, second.schema, rules == ValueRules::kAcrossFormats);
  if (!SelectPairs(pairs, onlyTable, outcome.errorMessage)) return outcome;
  for (const TablePair& pair : pairs) {
    if (pair.first == nullptr || pair.second == nullptr) {
      outcome.differs = true;
      const bool inFirst = pair.second == nullptr;
      if (!sink.TableOnlyIn((inFirst ? pair.first : pair.second)->name, inFirst)) return outcome;
      continue;
    }
    TableDiff table(first, second, rules, sink, progress, outcome);
    if (!table.Compare(*pair.first, *pair.second)) return outcome;
    ++outcome.tables;
  }
  outcome.success = true;
  return outcome;
}

}  // namespace Corvenmark
