#include "engines/copy_plan.h"

#include <cstring>

#include "engines/constraint_text.h"
#include "engines/sql_text.h"
#include "platform/ascii.h"

namespace Corvenmark {
namespace {

// A default that every format reads alike: a string, a number, NULL, TRUE, FALSE or the current
// time.
// A default that every format reads as the same value whatever the column's type: a string, a
// number or NULL.
bool IsPortableDefault(const std::string& text) {
  if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
    // Every quote inside is one of a pair.
    for (size_t i = 1; i + 1 < text.size(); ++i) {
      if (text[i] == '\'' && text[++i] != '\'') return false;
    }
    return true;
  }
  if (!text.empty() && text.find_first_not_of("-+0123456789.") == std::string::npos) return true;
  return EqualIgnoringAsciiCase(text, "NULL");
}

// The table's constraints the copy keeps, as SQL; each it does not is named in `notes`. Within
// one format all of them; from another, all but foreign keys where the target checks them as
// the rows go in; none where the plan keeps every value whatever the constraint says.
void PlanConstraints(const TableMeta& table, bool sameFormat, const TargetTypes& target,
                     PlanFrom from, TablePlan& plan, std::vector<std::string>& notes) {
  for (const ConstraintMeta& constraint : table.constraints) {
    const bool kept =
        from == PlanFrom::kFamilies &&
        (sameFormat || target.keepsForeignKeys ||
         constraint.kind != ConstraintMeta::Kind::kForeignKey);
    if (kept) plan.constraints.push_back(ConstraintText(constraint, true));
    if (!kept) notes.push_back(table.name + ": " + ConstraintText(constraint) + " not copied");
  }
}

}  // namespace

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
    if (sameFormat && from == PlanFrom::kFamilies) {
      copy.type = column.type;
      copy.defaultSql = column.defaultValue;
      continue;
    }
    const TypeFamily family = source.FamilyOf(column.type);
    if (from == PlanFrom::kFamilies) copy.type = target.familyType(family, counted);
    if (copy.type.empty()) copy.type = target.keepingType(counted);
    // A default is an expression in the source's own SQL: kept when every format reads it alike
    // and the column keeps its kind of values.
    if (!column.defaultValue.empty()) {
      const bool kept = from == PlanFrom::kFamilies && IsPortableDefault(column.defaultValue) &&
                        target.familyOf(copy.type) == family;
      if (kept) copy.defaultSql = column.defaultValue;
      if (!kept) {
        notes.push_back(table.name + "." + column.name + ": DEFAULT " + column.defaultValue +
                        " not copied");
      }
    }
    // Named where --diff will see a change: within one format another type, across two a type
    // of another family.
    if (sameFormat ? copy.type != column.type : target.familyOf(copy.type) != family) {
      notes.push_back(table.name + "." + column.name + ": " +
                      (column.type.empty() ? "no declared type" : column.type) + " copied as " +
                      copy.type + ", which keeps every value it holds");
    }
  }
  PlanConstraints(table, sameFormat, target, from, plan, notes);
  for (ColumnPlan& column : plan.columns) {
    if (keyHolds || !column.primaryKey) continue;
    column.primaryKey = false;
    notes.push_back(table.name + "." + column.name +
                    ": its primary key holds NULL, or values of more than one kind, which " +
                    target.format + " keys cannot hold apart; copied without the key");
  }
  // The key keeps its own order, which need not be the columns'.
  if (keyHolds) plan.primaryKey = table.primaryKey;
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

std::string TableDefinitionSql(const TablePlan& plan) {
  std::string sql = "(";
  std::string key;
  for (size_t i = 0; i < plan.columns.size(); ++i) {
    const ColumnPlan& column = plan.columns[i];
    if (i > 0) sql += ", ";
    sql += QuotedIdentifier(column.name);
    if (!column.type.empty()) sql += " " + column.type;
    if (column.notNull) sql += " NOT NULL";
    if (!column.defaultSql.empty()) sql += " DEFAULT (" + column.defaultSql + ")";
    if (column.primaryKey) key += (key.empty() ? "" : ", ") + QuotedIdentifier(column.name);
  }
  if (!plan.primaryKey.empty()) key = JoinedNames(plan.primaryKey, true);
  if (!key.empty()) sql += ", PRIMARY KEY (" + key + ")";
  for (const std::string& constraint : plan.constraints) sql += ", " + constraint;
  return sql + ")" + plan.options;
}

std::string CreateIndexSql(const IndexMeta& index, const std::string& table) {
  return std::string(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
         QuotedIdentifier(index.name) + " ON " + table + " (" + JoinedNames(index.columns, true) +
         ")";
}

}  // namespace Corvenmark
