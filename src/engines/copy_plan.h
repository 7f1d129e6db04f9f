#ifndef CORVENMARK_COPY_PLAN_H_
#define CORVENMARK_COPY_PLAN_H_

// How a table is copied into a database of another format: the type each column gets, so that
// every value is kept, and what the report says of what could not stay as it was.

#include <string>
#include <vector>

#include "engines/column_census.h"
#include "engines/engine.h"

namespace Corvenmark {

/// One column of the copy.
struct ColumnPlan {
  std::string name;
  std::string type;  ///< As the target declares it.
  bool primaryKey = false;
  bool notNull = false;
  std::string defaultSql;  ///< The DEFAULT expression the copy keeps; empty for none.
};

struct TablePlan {
  std::string name;    ///< The table's own name in the copy, within its schema.
  std::string schema;  ///< Its schema in the copy; empty for the default one.
  std::vector<ColumnPlan> columns;
  /// The columns of the primary key the copy keeps, in the key's order; none for no key.
  std::vector<std::string> primaryKey;
  /// The UNIQUE, CHECK and FOREIGN KEY clauses the copy keeps, as SQL.
  std::vector<std::string> constraints;
  /// What follows the columns in the source's CREATE TABLE within one format (SQLite's
  /// "WITHOUT ROWID" and "STRICT"), which the copy keeps; empty otherwise.
  std::string options;
};

/// How far a plan trusts the declared types.
enum class PlanFrom {
  kFamilies,    ///< Each column of its declared type's family, where the census allows.
  /// Each column of the narrowest type that keeps every value, even in one format, and no
  /// default or constraint that might refuse one.
  kEveryValue,
};

/// The type a target engine gives a column: `familyType` when the values fit the family of
/// the column's declared type (empty when no type of the target's stands for it), and otherwise
/// the narrowest of the target's types that keeps every value. Set by each engine.
struct TargetTypes {
  const char* format;  ///< As the engine names it, to tell a copy within one format.
  /// The type of the family, when every value the census counted fits it; empty otherwise.
  std::string (*familyType)(TypeFamily family, const ColumnCensus& census);
  /// The narrowest type that keeps every value the census counted.
  std::string (*keepingType)(const ColumnCensus& census);
  /// True when a primary key may hold the values the census counted.
  bool (*keyHolds)(const ColumnCensus& census);
  /// The family of one of the target's types, as --diff compares them.
  TypeFamily (*familyOf)(const std::string& type);
  /// True when a copy from another format keeps foreign keys; false for a target that checks
  /// them as rows go in, table by table.
  bool keepsForeignKeys;
};

/// Plans the copy of `table`, whose columns' values `census` counted, into `target`. Within one
/// format every column keeps its declared type. Each change is noted in `notes`, one line each,
/// as "table.column: ...".
TablePlan PlanTable(const TableMeta& table, const std::vector<ColumnCensus>& census,
                    const TableSource& source, const TargetTypes& target,
                    std::vector<std::string>& notes, PlanFrom from = PlanFrom::kFamilies);

/// `copy` completed by how building the new database ended, and, when `objectsLeftOut`, with
/// each of the other objects of `source` (views, triggers) named as not copied.
CopyResult FinishedCopy(CopyResult copy, const SampleResult& made, const TableSource& source,
                        bool objectsLeftOut = true);

/// True when the two plans give every column the same type and key.
bool SameColumnTypes(const TablePlan& first, const TablePlan& second);

/// What follows "CREATE TABLE name" for the plan: its columns with their types, NOT NULL and
/// defaults, its primary key, its constraints and its options.
std::string TableDefinitionSql(const TablePlan& plan);

/// The statement that makes `index` on the copy of its table, named `table` in SQL.
std::string CreateIndexSql(const IndexMeta& index, const std::string& table);

}  // namespace Corvenmark

#endif  // CORVENMARK_COPY_PLAN_H_
