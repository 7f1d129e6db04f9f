#include "schema_diff.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "platform/ascii.h"

namespace Corvenmark {
namespace {

std::map<std::string, const ColumnMeta*> ByName(const std::vector<ColumnMeta>& columns) {
  std::map<std::string, const ColumnMeta*> byName;
  for (const ColumnMeta& column : columns) byName.emplace(LowerAscii(column.name), &column);
  return byName;
}

// Within one format a table is matched by its schema and its name, not by the name the listing
// shows: schema a's table b and a table of the default schema named "a.b" show alike. Across
// formats, where one has no schemas and a copy names schema a's table b "a.b", by the name
// shown.
using TableKey = std::pair<std::string, std::string>;

TableKey KeyOf(const TableMeta& table, bool acrossFormats) {
  return {acrossFormats ? "" : LowerAscii(table.schema), LowerAscii(table.name)};
}

std::map<TableKey, const TableMeta*> ByKey(const std::vector<TableMeta>& tables,
                                           bool acrossFormats) {
  std::map<TableKey, const TableMeta*> byKey;
  for (const TableMeta& table : tables) byKey.emplace(KeyOf(table, acrossFormats), &table);
  return byKey;
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
    const auto match = secondColumns.find(LowerAscii(column.name));
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
    if (firstColumns.count(LowerAscii(column.name)) == 0) change.addedColumns.push_back(column);
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
  std::sort(ordered.begin(), ordered.end(), [](const TableMeta* a, const TableMeta* b) {
    return std::tie(a->name, a->schema) < std::tie(b->name, b->schema);
  });
  return ordered;
}

}  // namespace

SchemaDiff CompareSchemas(const std::vector<TableMeta>& first, const std::vector<TableMeta>& second,
                          const TypeComparison& types) {
  SchemaDiff diff;
  diff.success = true;
  const bool acrossFormats = types.firstFamily != nullptr && types.secondFamily != nullptr;
  const auto firstTables = ByKey(first, acrossFormats);
  const auto secondTables = ByKey(second, acrossFormats);
  for (const TableMeta* table : InNameOrder(first)) {
    const auto match = secondTables.find(KeyOf(*table, acrossFormats));
    if (match == secondTables.end()) {
      diff.tablesOnlyInFirst.push_back(table->name);
      continue;
    }
    TableChange change = CompareTables(*table, *match->second, types);
    if (HasChanges(change)) diff.changedTables.push_back(std::move(change));
  }
  for (const TableMeta* table : InNameOrder(second)) {
    if (firstTables.count(KeyOf(*table, acrossFormats)) == 0) {
      diff.tablesOnlyInSecond.push_back(table->name);
    }
  }
  return diff;
}

}  // namespace Corvenmark
