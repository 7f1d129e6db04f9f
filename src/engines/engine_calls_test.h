#ifndef CORVENMARK_ENGINE_CALLS_TEST_H_
#define CORVENMARK_ENGINE_CALLS_TEST_H_

// For tests: an engine's operations called through the seam, their rows collected.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/csv.h"
#include "engines/collected_rows.h"
#include "engines/engine.h"

namespace Corvenmark {

struct QueryRun {
  bool success = false;
  std::string errorMessage;
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  int64_t changedRows = 0;
  int results = 0;
};

inline QueryRun RunQueryThrough(const Engine& engine, const std::string& db,
                                const std::string& sql) {
  CollectedRows collected;
  const QueryOutcome outcome = engine.runQuery(db, sql, collected);
  return {outcome.success, outcome.errorMessage, collected.columns,
          collected.rows,  outcome.changedRows,  collected.results};
}

/// The table as the front end writes it, line ends and all; no text when the export fails.
inline CsvExport ExportThrough(const Engine& engine, const std::string& db,
                               const std::string& table) {
  std::ostringstream out;
  CsvWriter writer(out);
  const Outcome outcome = ExportTableOf(engine, db, table, writer);
  CsvExport csv;
  csv.success = outcome.success && writer.Finish();
  csv.errorMessage = outcome.errorMessage;
  if (csv.success) csv.text = out.str();
  return csv;
}

/// A statement list that succeeds, and the last result with columns it reports.
struct ExpectedQuery {
  const char* sql;
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  int64_t changedRows;
};

/// Runs each statement list in turn on `db` and checks what it reports.
inline void ExpectQueries(const Engine& engine, const std::string& db,
                          const std::vector<ExpectedQuery>& queries) {
  for (const ExpectedQuery& query : queries) {
    const QueryRun result = RunQueryThrough(engine, db, query.sql);
    ASSERT_TRUE(result.success) << query.sql << ": " << result.errorMessage;
    EXPECT_EQ(result.columns, query.columns) << query.sql;
    EXPECT_EQ(result.rows, query.rows) << query.sql;
    EXPECT_EQ(result.changedRows, query.changedRows) << query.sql;
  }
}

}  // namespace Corvenmark

#endif  // CORVENMARK_ENGINE_CALLS_TEST_H_
