#include "cli/query_report.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/native_lines_test.h"
#include "scratch_directory_test.h"

namespace Corvenmark {
namespace {

namespace fs = std::filesystem;

using Rows = std::vector<std::vector<std::string>>;

// Feeds `rows` to a report as an engine would and returns what it writes, or the error.
std::string ReportOf(const std::vector<std::string>& columns, const Rows& rows, double elapsedMs,
                     QueryReport::Options options = {}) {
  QueryReport report(options);
  EXPECT_TRUE(report.BeginResult(columns));
  for (const auto& row : rows) {
    std::vector<CellView> cells;
    for (const std::string& cell : row) cells.push_back({cell});
    if (!report.AddRow(cells.data(), cells.size())) return "error: " + report.error();
  }
  std::ostringstream out;
  if (!report.Write(out, elapsedMs)) return "error: " + report.error();
  return FromNativeLines(out.str());
}

TEST(QueryReport, PrintsElapsedTimeAsPercentG) {
  const struct {
    double elapsedMs;
    const char* firstLine;
  } cases[] = {
      {0.5, "Executed in 0.5 ms (0 rows):\n"},
      {12.25, "Executed in 12.25 ms (0 rows):\n"},
      {1234567, "Executed in 1.23457e+06 ms (0 rows):\n"},
      {0, "Executed in 0 ms (0 rows):\n"},
      {0.0001, "Executed in 0.0001 ms (0 rows):\n"},
      {100000, "Executed in 100000 ms (0 rows):\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReportOf({}, {}, c.elapsedMs), c.firstLine);
}

class SpillTest : public ScratchDirectoryTest {
 protected:
  // A budget so small that every row or two goes to the temporary file.
  QueryReport::Options Spilling() const { return {8, dir_.string()}; }
};

TEST_F(SpillTest, WritesEachRowByItsOwnCellCountWhereverRowsAreKept) {
  const struct {
    const char* name;
    std::vector<std::string> columns;
    Rows rows;
    const char* expected;
  } cases[] = {
      {"no columns, no rows", {}, {}, "Executed in 1 ms (0 rows):\n"},
      {"header only", {"a", "b"}, {}, "Executed in 1 ms (0 rows):\na\tb\n"},
      {"one row", {"a", "b"}, {{"1", "2"}}, "Executed in 1 ms (1 rows):\na\tb\n1\t2\n"},
      {"short and long rows",
       {"a", "b"},
       {{"1"}, {"1", "2", "3"}},
       "Executed in 1 ms (2 rows):\na\tb\n1\n1\t2\t3\n"},
      {"empty row writes nothing", {"a"}, {{}, {"x"}}, "Executed in 1 ms (2 rows):\na\nx\n"},
      {"rows without columns", {}, {{"x", ""}}, "Executed in 1 ms (1 rows):\nx\t\n"},
      {"values unescaped",
       {"q\"uote"},
       {{"tab\there", "line\nfeed"}},
       "Executed in 1 ms (1 rows):\nq\"uote\ntab\there\tline\nfeed\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReportOf(c.columns, c.rows, 1), c.expected) << c.name;
    EXPECT_EQ(ReportOf(c.columns, c.rows, 1, Spilling()), c.expected) << c.name;
  }
}

TEST_F(SpillTest, SpilledReportIsTheSameBytesAndLeavesNoFile) {
  Rows rows;
  for (int i = 0; i < 1500; ++i) {
    rows.push_back(std::vector<std::string>(static_cast<size_t>(i % 4), std::to_string(i)));
  }
  // A table shows its first 1000 rows, however many of them the budget leaves in memory.
  for (const OutputFormat format : {OutputFormat::kTsv, OutputFormat::kTable}) {
    const std::string inMemory = ReportOf({"a", "b", "c"}, rows, 2, {size_t{32} << 20, "", format});
    for (const size_t budget : {size_t{1}, size_t{256}, size_t{4000}}) {
      EXPECT_EQ(ReportOf({"a", "b", "c"}, rows, 2, {budget, dir_.string(), format}), inMemory)
          << budget;
    }
    const char* last =
        format == OutputFormat::kTsv ? "\n1499\t1499\t1499\n" : "\n│ 999  │ 999  │ 999  │\n";
    EXPECT_NE(inMemory.find(last), std::string::npos) << inMemory.substr(inMemory.size() - 300);
  }
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(SpillTest, OnlyTheLastResultIsReported) {
  QueryReport report(Spilling());
  const CellView cells[] = {{"first result"}, {"x"}};
  ASSERT_TRUE(report.BeginResult({"old"}));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(report.AddRow(cells, 2));
  ASSERT_TRUE(report.BeginResult({"new"}));
  ASSERT_TRUE(report.AddRow(cells + 1, 1));
  std::ostringstream out;
  ASSERT_TRUE(report.Write(out, 3));
  EXPECT_EQ(FromNativeLines(out.str()), "Executed in 3 ms (1 rows):\nnew\nx\n");
}

TEST_F(SpillTest, TemporaryFileThatCannotBeCreatedIsAnError) {
  const std::string notADirectory = (dir_ / "file").string();
  std::ofstream(notADirectory) << "x";
  for (const std::string& where : {notADirectory, (dir_ / "missing").string()}) {
    const std::string report = ReportOf({"a"}, {{"long enough to spill"}}, 1, {4, where});
    EXPECT_EQ(report.rfind("error: cannot create a temporary file in " + where + ": ", 0), 0u)
        << report;
  }
}

}  // namespace
}  // namespace Corvenmark
