#include "engines/builtin/corvenmark_engine.h"

#include <gtest/gtest.h>

namespace Corvenmark {
namespace {

// The built-in engine ignores its arguments, so an empty path, a missing file and empty SQL all
// give the same answer.
const char* const kPaths[] = {"", "no/such/file.db", "shop.db"};

TEST(VaneEngine, QueryAlwaysSucceedsWithOneRow) {
  for (const char* path : kPaths) {
    for (const char* sql : {"", "SELECT 1", "not sql at all"}) {
      const QueryResult result = VaneEngine::ExecuteQuery(path, sql);
      EXPECT_TRUE(result.success);
      EXPECT_EQ(result.errorMessage, "");
      EXPECT_EQ(result.columns, (std::vector<std::string>{"status", "engine"}));
      EXPECT_EQ(result.rows,
                (std::vector<std::vector<std::string>>{{"OK", "Corvenmark Win64 Native Engine"}}));
      EXPECT_EQ(result.elapsedMs, 0.5);
      EXPECT_EQ(result.changedRows, 1);
    }
  }
}

TEST(VaneEngine, FixedAnswersWhateverThePath) {
  for (const char* path : kPaths) {
    const SchemaResult schema = VaneEngine::InspectSchema(path);
    EXPECT_TRUE(schema.success);
    EXPECT_TRUE(schema.tables.empty());

    const DbDiagnostics diagnostics = VaneEngine::AnalyzeDatabase(path);
    EXPECT_TRUE(diagnostics.success);
    EXPECT_TRUE(diagnostics.integrityOk);
    EXPECT_EQ(diagnostics.journalMode, "WAL");
    EXPECT_EQ(diagnostics.pageCount * diagnostics.pageSize, 40960);
    EXPECT_EQ(diagnostics.freelistCount, 0);

    const CsvExport csv = VaneEngine::ExportCsv(path, "any");
    EXPECT_TRUE(csv.success);
    EXPECT_EQ(csv.text.size(), 34u);
    EXPECT_EQ(csv.text, "status,engine\nOK,Corvenmark Win64\n");

    const SampleResult sample = VaneEngine::CreateSampleBenchmarkDb(path);
    EXPECT_TRUE(sample.success);
    EXPECT_EQ(sample.status, "OK");

    const SchemaDiff diff = VaneEngine::DiffDatabases(path, path);
    EXPECT_TRUE(diff.success);
    EXPECT_TRUE(diff.tablesOnlyInFirst.empty());
    EXPECT_TRUE(diff.tablesOnlyInSecond.empty());
    EXPECT_TRUE(diff.changedTables.empty());
  }
}

}  // namespace
}  // namespace Corvenmark
