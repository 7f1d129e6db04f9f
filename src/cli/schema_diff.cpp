#include "cli/schema_diff.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "cli/reports.h"
#include "engines/constraint_text.h"
#include "platform/ascii.h"

namespace Corvenmark {
namespace {

std::map<std::string, const ColumnMeta*> ByName(const std::vector<ColumnMeta>& columns) {
  std::map<std::string, const ColumnMeta*> byName;
  for (const ColumnMeta& column : columns) byName.emplace(LowerAscii(column.name), &column);
  return byName;
}

// A table is matched by its identity: its schema (none for the default one) and its own name,
// compared without regard to ASCII case, as both SQLite and DuckDB compare them.
using TableKey = std::pair<std::string, std::string>;

TableKey KeyOf(const TableMeta& table) {
  return {LowerAscii(table.schema), LowerAscii(table.ownName.empty() ? table.name : table.ownName)};
}

// Across formats, a table that no table of the other side's has the identity of pairs with one
// whose qualified name is its name: schema a's table b with a table "a.b" of the default
// schema, which is what a copy into a format without schemas names it.
TableKey QualifiedKeyOf(const TableMeta& table) {
  const TableKey key = KeyOf(table);
  return key.first.empty() ? key : TableKey{"", key.first + "." + key.second};
}

// Each table of `first` and the table of `second` it pairs with, null for none; each table of
// `second` pairs at most once.
std::vector<const TableMeta*> PairTables(const std::vector<const TableMeta*>& first,
                                         const std::vector<const TableMeta*>& second,
                                         bool acrossFormats) {
  std::vector<const TableMeta*> pairs(first.size(), nullptr);
  std::map<TableKey, const TableMeta*> unpaired;
  for (const TableMeta* table : second) unpaired.emplace(KeyOf(*table), table);
  for (size_t i = 0; i < first.size(); ++i) {
    const auto match = unpaired.find(KeyOf(*first[i]));
    if (match == unpaired.end()) continue;
    pairs[i] = match->second;
    unpaired.erase(match);
  }
  if (!acrossFormats) return pairs;
  std::map<TableKey, const TableMeta*> byQualified;
  for (const auto& entry : unpaired) byQualified.emplace(QualifiedKeyOf(*entry.second), entry.second);
  for (size_t i = 0; i < first.size(); ++i) {
    if (pairs[i] != nullptr) continue;
    const auto match = byQualified.find(QualifiedKeyOf(*first[i]));
    if (match == byQualified.end()) continue;
    pairs[i] = match->second;
    byQualified.erase(match);
  }
  return pairs;
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

// Texts of two formats (a default, a constraint) compare by what they mean; of one, as written.
bool SameText(const std::string& first, const std::string& second, bool acrossFormats) {
  return acrossFormats ? ConstraintMeaning(first) == ConstraintMeaning(second) : first == second;
}

// The NOT NULL and default of each column both tables have, then the constraints of either.
void CompareDetails(const TableMeta& first, const TableMeta& second, bool acrossFormats,
                    std::vector<DetailChange>& changes) {
  const auto secondColumns = ByName(second.columns);
  for (const ColumnMeta& column : first.columns) {
    const auto match = secondColumns.find(LowerAscii(column.name));
    if (match == secondColumns.end()) continue;
    const ColumnMeta& after = *match->second;
    const std::string name = first.name + "." + column.name;
    // Formats differ on whether a key's column says NOT NULL (DuckDB's do; most of SQLite's
    // may hold NULL): across them a key's column is compared by its key, which the column's
    // own line reports.
    const bool keyed = column.primaryKey || after.primaryKey;
    if (column.notNull != after.notNull && !(acrossFormats && keyed)) {
      changes.push_back({'~', "not null", name, column.notNull ? "NOT NULL" : "NULL",
                         after.notNull ? "NOT NULL" : "NULL"});
    }
    if (!SameText(column.defaultValue, after.defaultValue, acrossFormats)) {
      changes.push_back({'~', "default", name, column.defaultValue, after.defaultValue});
    }
  }
  const auto meaningOf = [&](const ConstraintMeta& constraint) {
    const std::string text = ConstraintText(constraint);
    return acrossFormats ? ConstraintMeaning(text) : text;
  };
  std::set<std::string> firstMeanings;
  std::set<std::string> secondMeanings;
  for (const ConstraintMeta& constraint : first.constraints) {
    firstMeanings.insert(meaningOf(constraint));
  }
  for (const ConstraintMeta& constraint : second.constraints) {
    secondMeanings.insert(meaningOf(constraint));
  }
  for (const ConstraintMeta& constraint : first.constraints) {
    if (secondMeanings.count(meaningOf(constraint)) == 0) {
      changes.push_back({'-', "constraint", first.name, ConstraintText(constraint), ""});
    }
  }
  for (const ConstraintMeta& constraint : second.constraints) {
    if (firstMeanings.count(meaningOf(constraint)) == 0) {
      changes.push_back({'+', "constraint", first.name, "", ConstraintText(constraint)});
    }
  }
}

std::string IndexText(const IndexMeta& index) {
  return std::string(index.unique ? "UNIQUE " : "") + "ON " + index.table + " (" +
         JoinedNames(index.columns) + ")";
}

// Objects of both databases matched by kind and name, as the databases match names; `text`
// says what each is, and two of one name differ when their texts mean different things.
template <class Object, class Text>
void CompareObjects(const std::vector<Object>& first, const std::vector<Object>& second,
                    const Text& text, std::vector<DetailChange>& changes) {
  std::map<std::pair<std::string, std::string>, const Object*> secondByName;
  for (const Object& object : second) {
    secondByName.emplace(std::pair{text(object).first, LowerAscii(object.name)}, &object);
  }
  std::set<const Object*> matched;
  for (const Object& object : first) {
    const auto [kind, before] = text(object);
    const auto match = secondByName.find({kind, LowerAscii(object.name)});
    if (match == secondByName.end()) {
      changes.push_back({'-', kind, object.name, before, ""});
      continue;
    }
    matched.insert(match->second);
    const std::string after = text(*match->second).second;
    if (ConstraintMeaning(before) != ConstraintMeaning(after)) {
      changes.push_back({'~', kind, object.name, before, after});
    }
  }
  for (const Object& object : second) {
    if (matched.count(&object) == 0) {
      changes.push_back({'+', text(object).first, object.name, "", text(object).second});
    }
  }
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

std::vector<TablePair> PairedTables(const SchemaResult& first, const SchemaResult& second,
                                    bool acrossFormats) {
  const std::vector<const TableMeta*> firstTables = InNameOrder(first.tables);
  const std::vector<const TableMeta*> secondTables = InNameOrder(second.tables);
  const std::vector<const TableMeta*> matches = PairTables(firstTables, secondTables, acrossFormats);
  std::vector<TablePair> pairs;
  std::set<const TableMeta*> paired;
  for (size_t i = 0; i < firstTables.size(); ++i) {
    pairs.push_back({firstTables[i], matches[i]});
    paired.insert(matches[i]);
  }
  for (const TableMeta* table : secondTables) {
    if (paired.count(table) == 0) pairs.push_back({nullptr, table});
  }
  return pairs;
}

SchemaDiff CompareSchemas(const SchemaResult& first, const SchemaResult& second,
                          const TypeComparison& types) {
  SchemaDiff diff;
  diff.success = true;
  const bool acrossFormats = types.firstFamily != nullptr && types.secondFamily != nullptr;
  for (const TablePair& pair : PairedTables(first, second, acrossFormats)) {
    if (pair.second == nullptr) {
      diff.tablesOnlyInFirst.push_back(pair.first->name);
      continue;
    }
    if (pair.first == nullptr) {
      diff.tablesOnlyInSecond.push_back(pair.second->name);
      continue;
    }
    TableChange change = CompareTables(*pair.first, *pair.second, types);
    const size_t detailsBefore = diff.detailChanges.size();
    CompareDetails(*pair.first, *pair.second, acrossFormats, diff.detailChanges);
    // Within a format that keeps statements as written, what else the table's declares (a
    // collation, STRICT, the order of its columns or of its key, a foreign key's actions):
    // named, without detail, when nothing above tells the two apart.
    const bool told = HasChanges(change) || diff.detailChanges.size() > detailsBefore;
    if (!acrossFormats && !told && first.statementsAsWritten && second.statementsAsWritten &&
        ConstraintMeaning(pair.first->createSql) != ConstraintMeaning(pair.second->createSql)) {
      diff.detailChanges.push_back({'~', "definition", pair.first->name, "", ""});
    }
    if (HasChanges(change)) diff.changedTables.push_back(std::move(change));
  }
  // Within one format an index is what its statement says (its order, its collation); across
  // two, its table and columns.
  CompareObjects(
      first.indexes, second.indexes,
      [&](const IndexMeta& index) {
        return std::pair<std::string, std::string>(
            "index", acrossFormats || index.createSql.empty() ? IndexText(index)
                                                               : OnOneLine(index.createSql));
      },
      diff.detailChanges);
  // Across formats a view or trigger is compared by its name only: the formats write the same
  // definition in SQL of their own.
  CompareObjects(
      first.otherObjects, second.otherObjects,
      [&](const ObjectMeta& object) {
        return std::pair<std::string, std::string>(object.kind, acrossFormats ? "" : object.createSql);
      },
      diff.detailChanges);
  return diff;
}

}  // namespace Corvenmark
