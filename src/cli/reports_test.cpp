#include "cli/reports.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "platform/native_lines_test.h"

namespace Corvenmark {
namespace {

TEST(SchemaListing, ListsTablesAndMarksPrimaryKeys) {
  TableMeta users;
  users.name = "users";
  users.rowCount = 3;
  users.columns.push_back({0, "id", "INTEGER", true, "", true});
  users.columns.push_back({1, "name", "TEXT", false, "", false});
  TableMeta empty;
  empty.name = "log";
  empty.rowCount = -1;

  std::ostringstream out;
  WriteSchemaListing(out, "dir/shop.db", {users, empty});
  EXPECT_EQ(FromNativeLines(out.str()),
            "Database: dir/shop.db (2 tables):\n"
            "Table: users (3 rows)\n"
            "  - id : INTEGER [PRIMARY KEY]\n"
            "  - name : TEXT\n"
            "Table: log (-1 rows)\n");
}

TEST(SchemaListing, NoTablesIsTheFirstLineAlone) {
  std::ostringstream out;
  WriteSchemaListing(out, "x.db", {});
  EXPECT_EQ(FromNativeLines(out.str()), "Database: x.db (0 tables):\n");
}

TEST(Diagnostics, WritesSixLabelledLines) {
  const struct {
    bool checked;
    bool ok;
    const char* verdict;
  } cases[] = {
      {true, false, "FAIL"},
      {true, true, "PASS (OK)"},
      // A check that could not run says so, not FAIL, whatever the flag.
      {false, false, "NOT CHECKED (out of memory)"},
      {false, true, "NOT CHECKED (out of memory)"},
  };
  for (const auto& c : cases) {
    DbDiagnostics diagnostics;
    diagnostics.integrityOk = c.ok;
    diagnostics.integrityChecked = c.checked;
    if (!c.checked) diagnostics.integrityUnchecked = "out of memory";
    diagnostics.journalMode = "delete";
    diagnostics.pageSize = 1000;
    diagnostics.pageCount = 3;
    diagnostics.freelistCount = 7;
    std::ostringstream out;
    WriteDiagnostics(out, diagnostics);
    EXPECT_EQ(FromNativeLines(out.str()), std::string("=== PRAGMA Database Diagnostics ===\n"
                                                      "Integrity Check: ") +
                                              c.verdict +
                                              "\n"
                                              "Journal Mode:   delete\n"
                                              "Page Size:      1000 bytes\n"
                                              "Page Count:     3 (2 KB)\n"
                                              "Freelist Count: 7\n");
  }
}

TEST(Diagnostics, KilobytesTruncateAndClampWithoutOverflow) {
  const int64_t kMax = std::numeric_limits<int64_t>::max();
  const int64_t kMin = std::numeric_limits<int64_t>::min();
  const struct {
    int64_t pageCount;
    int64_t pageSize;
    int64_t kilobytes;
  } cases[] = {
      {3, 1000, 2},
      {10, 4096, 40},
      {0, 4096, 0},
      {-3, 1000, -2},                              // truncated toward zero, not floored
      {int64_t{1} << 60, 1024, int64_t{1} << 60},  // the product overflows, the quotient fits
      {kMax, kMax, kMax},
      {kMax, kMin, kMin},
      {kMin, kMin, kMax},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StorageKilobytes(c.pageCount, c.pageSize), c.kilobytes)
        << c.pageCount << " x " << c.pageSize;
  }
}

TEST(Usage, NamesTheProgramAsPassedAndAlignsDescriptions) {
  std::ostringstream out;
  WriteUsage(out, "/opt/bin/corvenmark");
  const std::string text = FromNativeLines(out.str());
  EXPECT_EQ(
      text.rfind(std::string(56, '=') + "\n  Corvenmark Studio - Commercial Edition v3.0.0\n", 0),
      0u);
  EXPECT_NE(text.find("\nUsage:\n  /opt/bin/corvenmark [options]\n\nOptions:\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n  --export-csv <db> <table> Export table directly to formatted CSV\n"),
            std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");

  std::istringstream lines(text);
  std::string line;
  int optionLines = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("  --", 0) != 0) continue;
    ++optionLines;
    EXPECT_EQ(line[27], ' ') << line;
    EXPECT_NE(line[28], ' ') << line;
  }
  EXPECT_EQ(optionLines, 7);
}

TEST(Usage, NullProgramNamePrintsEmptyName) {
  std::ostringstream out;
  WriteUsage(out, nullptr);
  EXPECT_NE(FromNativeLines(out.str()).find("\nUsage:\n   [options]\n"), std::string::npos);
}

TEST(SampleLine, EchoesStatusAndPath) {
  std::ostringstream out;
  WriteSampleLine(out, "OK", "out dir/b.db");
  EXPECT_EQ(FromNativeLines(out.str()), "Create sample benchmark DB: OK at out dir/b.db\n");
}

TEST(SchemaDiffReport, SaysSoWhenThereAreNoDifferences) {
  std::ostringstream out;
  WriteSchemaDiff(out, "a.db", "b.db", SchemaDiff{});
  EXPECT_EQ(FromNativeLines(out.str()),
            "Schema diff: a.db -> b.db (0 differences):\nNo differences.\n");
}

TEST(SchemaDiffReport, WritesOneLinePerDifference) {
  SchemaDiff diff;
  diff.tablesOnlyInFirst = {"old"};
  diff.tablesOnlyInSecond = {"new1", "new2"};
  TableChange users;
  users.table = "users";
  users.removedColumns.push_back({2, "age", "INT", false, "", false});
  users.addedColumns.push_back({2, "email", "TEXT", true, "''", false});
  users.changedColumns.push_back({"id", "INTEGER", "TEXT", true, false});
  diff.changedTables.push_back(users);
  diff.detailChanges.push_back({'~', "default", "users.email", "''", ""});
  diff.detailChanges.push_back({'+', "index", "by\nname", "", "ON users (name)"});
  diff.detailChanges.push_back({'-', "view", "v", "CREATE VIEW v AS\nSELECT 1", ""});

  std::ostringstream out;
  WriteSchemaDiff(out, "a.db", "b.db", diff);
  EXPECT_EQ(FromNativeLines(out.str()),
            "Schema diff: a.db -> b.db (9 differences):\n"
            "  - table old\n"
            "  + table new1\n"
            "  + table new2\n"
            "  - column users.age : INT\n"
            "  + column users.email : TEXT\n"
            "  ~ column users.id : INTEGER [PRIMARY KEY] -> TEXT\n"
            "  ~ default users.email : '' -> (none)\n"
            "  + index by\\nname : ON users (name)\n"
            "  - view v\n");
}

}  // namespace
}  // namespace Corvenmark
