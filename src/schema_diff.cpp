#include "schema_diff.h"

#include <map>
#include <string>

namespace Corvenmark {
namespace {

template <class Item>
std::map<std::string, const Item*> ByName(const std::vector<Item>& items) {
  std::map<std::string, const Item*> byName;
  for (const Item& item : items) byName.emplace(item.name, &item);
  return byName;
}

TableChange CompareTables(const TableMeta& first, const TableMeta& second) {
  TableChange change;
  change.table = first.name;
  const auto firstColumns = ByName(first.columns);
  const auto secondColumns = ByName(second.columns);
  for (const ColumnMeta& column : first.columns) {
    const auto match = secondColumns.find(column.name);
    if (match == secondColumns.end()) {
      change.removedColumns.push_back(column);
      continue;
    }
    const ColumnMeta& after = *match->second;
    if (column.type != after.type || column.primaryKey != after.primaryKey) {
      change.changedColumns.push_back(
          {column.name, column.type, after.type, column.primaryKey, after.primaryKey});
    }
  }
  for (const ColumnMeta& column : second.columns) {
    if (firstColumns.count(column.name) == 0) change.addedColumns.push_back(column);
  }
  return change;
}

bool HasChanges(const TableChange& change) {
  return !change.addedColumns.empty() || !change.removedColumns.empty() ||
         !change.changedColumns.empty();
}

}  // namespace

SchemaDiff CompareSchemas(const std::vector<TableMeta>& first,
                          const std::vector<TableMeta>& second) {
  SchemaDiff diff;
  diff.success = true;
  const auto firstTables = ByName(first);
  const auto secondTables = ByName(second);
  for (const auto& [name, table] : firstTables) {
    const auto match = secondTables.find(name);
    if (match == secondTables.end()) {
      diff.tablesOnlyInFirst.push_back(name);
      continue;
    }
    TableChange change = CompareTables(*table, *match->second);
    if (HasChanges(change)) diff.changedTables.push_back(std::move(change));
  }
  for (const auto& [name, table] : secondTables) {
    if (firstTables.count(name) == 0) diff.tablesOnlyInSecond.push_back(name);
  }
  return diff;
}

}  // namespace Corvenmark
