#include "schema_diff.h"

#include <algorithm>
#include <map>
#include <string>

namespace Corvenmark {
namespace {

std::string FoldedCase(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

template <class Item>
std::map<std::string, const Item*> ByName(const std::vector<Item>& items) {
  std::map<std::string, const Item*> byName;
  for (const Item& item : items) byName.emplace(FoldedCase(item.name), &item);
  return byName;
}

bool SameType(const std::string& first, const std::string& second, const TypeComparison& types) {
  if (types.firstFamily == nullptr || types.secondFamily == nullptr) return first == second;
  return types.firstFamily(first) == types.secondFamily(second);
}

TableChange CompareTables(const TableMeta& first, const TableMeta& second,
                          const TypeComparison& types) {
  TableChange change;
  change.table = first.name;
  const auto firstColumns = ByName(first.columns);
  const auto secondColumns = ByName(second.columns);
  for (const ColumnMeta& column : first.columns) {
    const auto match = secondColumns.find(FoldedCase(column.name));
    if (match == secondColumns.end()) {
      change.removedColumns.push_back(column);
      continue;
    }
    const ColumnMeta& after = *match->second;
    if (!SameType(column.type, after.type, types) || column.primaryKey != after.primaryKey) {
      change.changedColumns.push_back(
          {column.name, column.type, after.type, column.primaryKey, after.primaryKey});
    }
  }
  for (const ColumnMeta& column : second.columns) {
    if (firstColumns.count(FoldedCase(column.name)) == 0) change.addedColumns.push_back(column);
  }
  return change;
}

bool HasChanges(const TableChange& change) {
  return !change.addedColumns.empty() || !change.removedColumns.empty() ||
         !change.changedColumns.empty();
}

std::vector<const TableMeta*> InNameOrder(const std::vector<TableMeta>& tables) {
  std::vector<const TableMeta*> ordered;
  for (const TableMeta& table : tables) ordered.push_back(&table);
  std::sort(ordered.begin(), ordered.end(),
            [](const TableMeta* a, const TableMeta* b) { return a->name < b->name; });
  return ordered;
}

}  // namespace

SchemaDiff CompareSchemas(const std::vector<TableMeta>& first, const std::vector<TableMeta>& second,
                          const TypeComparison& types) {
  SchemaDiff diff;
  diff.success = true;
  const auto firstTables = ByName(first);
  const auto secondTables = ByName(second);
  for (const TableMeta* table : InNameOrder(first)) {
    const auto match = secondTables.find(FoldedCase(table->name));
    if (match == secondTables.end()) {
      diff.tablesOnlyInFirst.push_back(table->name);
      continue;
    }
    TableChange change = CompareTables(*table, *match->second, types);
    if (HasChanges(change)) diff.changedTables.push_back(std::move(change));
  }
  for (const TableMeta* table : InNameOrder(second)) {
    if (firstTables.count(FoldedCase(table->name)) == 0) {
      diff.tablesOnlyInSecond.push_back(table->name);
    }
  }
  return diff;
}

}  // namespace Corvenmark
