#include "engines/copy_plan.h"

#include <cstring>

#include "engines/sql_text.h"

namespace Corvenmark {

TablePlan PlanTable(const TableMeta& table, const std::vector<ColumnCensus>& census,
                    const TableSource& source, const TargetTypes& target,
                    std::vector<std::string>& notes, PlanFrom from) {
  TablePlan plan;
  const bool sameFormat = std::strcmp(source.Format(), target.format) == 0;
  // Within one format a table keeps its schema and own name; into another, which may have no
  // schemas, it is named as the listing shows it ("a.b" for schema a's table b).
  plan.name = sameFormat ? table.ownName : table.name;
  if (sameFormat) plan.schema = table.schema;
  // Only the words that can follow the columns, so that nothing else is spliced into SQL.
  const size_t close = table.createSql.rfind(')');
  const std::string tail = close == std::string::npos ? "" : table.createSql.substr(close + 1);
  if (sameFormat && from == PlanFrom::kFamilies &&
      tail.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz ,\t\r\n") ==
          std::string::npos) {
    plan.options = tail;
  }
  bool keyHolds = true;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnMeta& column = table.columns[i];
    const ColumnCensus counted = i < census.size() ? census[i] : ColumnCensus();
    ColumnPlan& copy = plan.columns.emplace_back();
    copy.name = column.name;
    copy.primaryKey = column.primaryKey;
    copy.notNull = column.notNull;
    if (column.primaryKey) keyHolds = keyHolds && target.keyHolds(counted);
    // A default is an expression in the source's own SQL, which another format may read
    // otherwise or not at all.
    if (!sameFormat && !column.defaultValue.empty()) {
      notes.push_back(table.name + "." + column.name + ": DEFAULT " + column.defaultValue +
                      " not copied");
    }
    if (sameFormat && from == PlanFrom::kFamilies) {
      copy.type = column.type;
      continue;
    }
    const TypeFamily family = source.FamilyOf(column.type);
    if (from == PlanFrom::kFamilies) copy.type = target.familyType(family, counted);
    if (copy.type.empty()) copy.type = target.keepingType(counted);
    // Named where --diff will see a change: a type of another family.
    if (target.familyOf(copy.type) != family) {
      notes.push_back(table.name + "." + column.name + ": " +
                      (column.type.empty() ? "no declared type" : column.type) + " copied as " +
                      copy.type + ", which keeps every value it holds");
    }
  }
  for (ColumnPlan& column : plan.columns) {
    if (keyHolds || !column.primaryKey) continue;
    column.primaryKey = false;
    notes.push_back(table.name + "." + column.name + ": its primary key holds NULL, which " +
                    target.format + " keys cannot; copied without the key");
  }
  return plan;
}

CopyResult FinishedCopy(CopyResult copy, const SampleResult& made, const TableSource& source,
                        bool objectsLeftOut) {
  copy.success = made.success;
  copy.errorMessage = made.errorMessage;
  copy.createdFile = made.createdFile;
  for (const ObjectMeta& object : source.OtherObjects()) {
    if (objectsLeftOut) copy.notes.push_back(object.kind + " " + object.name + ": not copied");
  }
  return copy;
}

bool SameColumnTypes(const TablePlan& first, const TablePlan& second) {
  for (size_t i = 0; i < first.columns.size() && i < second.columns.size(); ++i) {
    if (first.columns[i].type != second.columns[i].type ||
        first.columns[i].primaryKey != second.columns[i].primaryKey) {
      return false;
    }
  }
  return first.columns.size() == second.columns.size();
}

std::string CreateIndexSql(const IndexMeta& index, const std::string& table) {
  std::string sql = std::string(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                    QuotedIdentifier(index.name) + " ON " + table + " (";
  for (size_t i = 0; i < index.columns.size(); ++i) {
    sql += (i > 0 ? ", " : "") + QuotedIdentifier(index.columns[i]);
  }
  return sql + ")";
}

}  // namespace Corvenmark
