#ifndef CORVENMARK_DATA_DIFF_H_
#define CORVENMARK_DATA_DIFF_H_

// The rows two databases differ in, table by table: both tables read at once, each in its own
// snapshot and thread, and merged as they come, so that memory does not grow with the tables.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/diff_values.h"
#include "engines/engine.h"

namespace Corvenmark {

/// A table of both databases whose rows are compared, as the reports name it.
struct TableComparison {
  std::string name;  ///< As the first database shows it.
  std::string schema;   ///< The first's table's schema; empty for the default one.
  std::string ownName;  ///< The first's table's own name within its schema.
  /// The columns compared: those both tables have, in the first's order and spelling.
  std::vector<std::string> columns;
  /// How the values of each of `columns` compare.
  std::vector<ValueRules> rules;
  /// The family of each of `columns` in the first database.
  std::vector<TypeFamily> firstFamilies;
  /// For each of `columns`, true when the first database computes its values from the others
  /// (a generated column), which no statement sets.
  std::vector<bool> generated;
  /// The columns whose declared types differ, which a copy of values may not bring in line,
  /// one line each.
  std::vector<std::string> typeNotes;
  /// The positions in `columns` of the primary key that pairs the rows; none when the tables
  /// have no common key and their rows are compared whole, as added and removed only.
  std::vector<size_t> key;
  /// Why the rows are compared whole; empty when a key pairs them.
  std::string whyWhole;
  /// The columns only one table has, which are not compared, one line each.
  std::vector<std::string> notes;
};

/// The positions of every one of `table`'s columns, in order.
std::vector<size_t> EveryColumn(const TableComparison& table);

struct DiffCounts {
  uint64_t added = 0;  ///< Rows only in the second database.
  uint64_t removed = 0;  ///< Rows only in the first.
  uint64_t changed = 0;  ///< Rows of one key in both whose values differ.
};

/// Where a data diff puts what it finds, as it finds it. Each returns false to stop the diff
/// (its output failed, say).
class DataDiffSink {
 public:
  virtual ~DataDiffSink() = default;
  /// A table only one database has: nothing of it is compared.
  virtual bool TableOnlyIn(const std::string& name, bool inFirst) = 0;
  virtual bool BeginTable(const TableComparison& table) = 0;
  /// A row only in the first database (`inFirst`) or only in the second; its cells are those
  /// of the table's columns, in their order.
  virtual bool RowOnlyIn(const CellView* row, bool inFirst) = 0;
  /// A row of one key in both, with the positions of the columns whose values differ.
  virtual bool RowChanged(const CellView* before, const CellView* after,
                          const std::vector<size_t>& changed) = 0;
  virtual bool EndTable(const DiffCounts& counts) = 0;
  /// Forgets every row given since BeginTable: the table's rows are given again from the start.
  virtual bool DiscardTable() = 0;
};

/// One database of the diff, open for reading.
struct DiffSide {
  Database& database;
  const Engine& engine;
  const SchemaResult& schema;
  const std::string& location;  ///< As the command line names it, for the notes.
};

struct DataDiffOutcome {
  bool success = false;
  std::string errorMessage;  ///< Empty when the sink stopped the diff.
  int failedSide = -1;       ///< 0 or 1 when the error is one database's; -1 otherwise.
  size_t tables = 0;         ///< Tables compared.
  DiffCounts totals;
  /// True when anything differs: a row, or a table or column only one side has.
  bool differs = false;
};

/// Called now and then while a table is compared, with how many rows of it were merged.
using DiffProgress = std::function<void(const std::string& table, uint64_t rows)>;

/// Compares the rows of every table both databases have, paired as the schema diff pairs them,
/// or of the one table `onlyTable` names when it is not empty. Values compare by `rules`.
DataDiffOutcome DiffData(const DiffSide& first, const DiffSide& second, ValueRules rules,
                         const std::string& onlyTable, DataDiffSink& sink,
                         const DiffProgress& progress = nullptr);

}  // namespace Corvenmark

#endif  // CORVENMARK_DATA_DIFF_H_
