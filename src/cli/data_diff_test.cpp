#include "cli/data_diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace Corvenmark {
namespace {

using Rows = std::vector<std::vector<int>>;

// One table (k INTEGER, v INTEGER) whose rows come as stored, or sorted when asked for key
// order, as an engine's would.
class FakeDatabase : public Database {
 public:
  FakeDatabase(Rows rows, bool keyed) : rows_(std::move(rows)), keyed_(keyed) {}
  SchemaResult ReadCatalog(bool) override {
    SchemaResult schema;
    schema.success = true;
    TableMeta table;
    table.name = table.ownName = "t";
    for (const char* name : {"k", "v"}) {
      ColumnMeta& column = table.columns.emplace_back();
      column.name = name;
      column.type = "INTEGER";
    }
    table.columns[0].primaryKey = keyed_;
    if (keyed_) table.primaryKey = {"k"};
    schema.tables.push_back(table);
    return schema;
  }
  bool ReadsRows() const override { return true; }
  Outcome ReadRows(const TableMeta&, RowSink& sink, RowOrder order) override {
    Rows rows = rows_;
    if (order == RowOrder::kByPrimaryKey) std::stable_sort(rows.begin(), rows.end());
    sink.BeginResult({"k", "v"});
    for (const std::vector<int>& row : rows) {
      const std::string texts[2] = {std::to_string(row[0]), std::to_string(row[1])};
      const CellView cells[2] = {{texts[0], false, CellKind::kInteger},
                                 {texts[1], false, CellKind::kInteger}};
      if (!sink.AddRow(cells, 2)) return Failure<Outcome>("");
    }
    return {true, ""};
  }

 private:
  Rows rows_;
  bool keyed_;
};

TypeFamily IntegersOnly(const std::string&) { return TypeFamily::kInteger; }

const Engine kFake = {"fake", "Fake", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, nullptr, nullptr, IntegersOnly, nullptr};

// What the diff finds, a line each; a table given again from its start forgets its lines.
class Findings : public DataDiffSink {
 public:
  bool TableOnlyIn(const std::string& name, bool inFirst) override {
    lines.push_back((inFirst ? "only first " : "only second ") + name);
    return true;
  }
  bool BeginTable(const TableComparison& table) override {
    table_ = &table;
    return true;
  }
  bool RowOnlyIn(const CellView* row, bool inFirst) override {
    lines.push_back(std::string(inFirst ? "- " : "+ ") + Row(row));
    return true;
  }
  bool RowChanged(const CellView* before, const CellView* after,
                  const std::vector<size_t>&) override {
    lines.push_back("~ " + Row(before) + " -> " + Row(after));
    return true;
  }
  bool EndTable(const DiffCounts&) override {
    lines.push_back(table_->key.empty() ? "whole: " + table_->whyWhole : "by key");
    return true;
  }
  bool DiscardTable() override {
    lines.clear();
    return true;
  }
  std::vector<std::string> lines;

 private:
  static std::string Row(const CellView* row) {
    return std::string(row[0].text) + "," + std::string(row[1].text);
  }
  const TableComparison* table_ = nullptr;
};

TEST(DataDiff, MergesRowsByKeyInWhateverOrderTheyAreStored) {
  const struct {
    Rows first, second;
    bool keyed;
    std::vector<std::string> lines;
  } cases[] = {
      {{{1, 10}, {2, 20}, {3, 30}}, {{1, 10}, {2, 21}, {4, 40}}, true,
       {"~ 2,20 -> 2,21", "- 3,30", "+ 4,40", "by key"}},
      // Stored out of key order: read again in key order, the first pass's lines forgotten.
      {{{3, 30}, {1, 10}, {2, 20}}, {{2, 20}, {1, 11}}, true, {"~ 1,10 -> 1,11", "- 3,30", "by key"}},
      // A key held twice: the rows are compared whole, as a multiset.
      {{{1, 10}, {1, 10}, {2, 20}}, {{1, 10}, {2, 20}}, true,
       {"- 1,10", "whole: its primary key holds one value twice"}},
      {{{5, 1}, {5, 1}, {6, 2}}, {{6, 2}, {5, 1}, {7, 3}}, false,
       {"- 5,1", "+ 7,3", "whole: no primary key"}},
      {{}, {}, true, {"by key"}},
  };
  for (const auto& c : cases) {
    FakeDatabase first(c.first, c.keyed);
    FakeDatabase second(c.second, c.keyed);
    const SchemaResult schemas[2] = {first.ReadCatalog(false), second.ReadCatalog(false)};
    const std::string names[2] = {"a", "b"};
    Findings findings;
    const DataDiffOutcome outcome =
        DiffData({first, kFake, schemas[0], names[0]}, {second, kFake, schemas[1], names[1]},
                 ValueRules::kOneFormat, "", findings);
    ASSERT_TRUE(outcome.success) << outcome.errorMessage;
    EXPECT_EQ(findings.lines, c.lines) << c.first.size();
    EXPECT_EQ(outcome.differs, c.lines.size() > 1) << c.first.size();
  }
}

}  // namespace
}  // namespace Corvenmark
