// The promises every engine of files keeps, tested once for each through the seam.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engines/collected_rows.h"
#include "engines/duckdb/duckdb_database.h"
#include "engines/duckdb/duckdb_engine.h"
#include "engines/engine.h"
#include "engines/engine_calls_test.h"
#include "engines/sqlite/sqlite_engine.h"
#include "scratch_directory_test.h"

namespace Corvenmark {
namespace {

void MakeSqliteDatabase(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

void MakeDuckDbDatabase(const std::string& path, const char* sql) {
  const OpenedDuckDb opened = OpenDuckDb(path, DuckDbOpenMode::kCreate);
  ASSERT_TRUE(opened.database) << opened.errorMessage;
  DuckDbResult result;
  EXPECT_EQ(DuckDb()->duckdb_query(opened.connection.get(), sql, result.get()), DuckDBSuccess)
      << result.Error();
}

struct EngineOfFiles {
  const Engine* engine;
  const char* suffix;
  /// Makes a new database at the path, holding what the SQL creates, by the engine's library.
  void (*make)(const std::string& path, const char* sql);
};

class EnginePromises : public ScratchDirectoryTest,
                       public ::testing::WithParamInterface<EngineOfFiles> {
 protected:
  void SetUp() override {
    const Engine& engine = *GetParam().engine;
    if (engine.whyUnavailable != nullptr) {
      ASSERT_EQ(engine.whyUnavailable(), "");
    }
    ScratchDirectoryTest::SetUp();
  }

  std::string MakeDatabase(const std::string& name, const char* sql) {
    const std::string path = PathOf(name + GetParam().suffix);
    GetParam().make(path, sql);
    return path;
  }

  QueryOutcome Query(const std::string& db, const std::string& sql, CollectedRows& rows) {
    return GetParam().engine->runQuery(db, sql, rows);
  }
};

TEST_P(EnginePromises, QueryRunsEveryStatementAndReportsTheLastWithColumns) {
  const std::string db = MakeDatabase("multi", "CREATE TABLE t (a INTEGER, b VARCHAR)");
  ExpectQueries(
      *GetParam().engine, db,
      {
          {"INSERT INTO t VALUES (1, 'x'), (2, 'y'); SELECT a FROM t ORDER BY a; UPDATE t SET b = "
           "'z'",
           {"a"},
           {{"1"}, {"2"}},
           4},
          {"SELECT b FROM t; SELECT a, b FROM t WHERE a > 10 -- no rows\n;", {"a", "b"}, {}, 0},
          {"DELETE FROM t WHERE a = 1", {}, {}, 1},
          {"  ;; /* only a comment */ ", {}, {}, 0},
          {"", {}, {}, 0},
      });
}

TEST_P(EnginePromises, FailuresAreReportedAndChangeNothing) {
  const Engine& engine = *GetParam().engine;
  const std::string db = MakeDatabase("ok", "CREATE TABLE t (a INTEGER)");
  std::ofstream(PathOf("text.db")) << std::string(4096, 'x');
  const std::string missing = PathOf("missing.db");
  // SQL that leaves a transaction open fails, and what it did is rolled back.
  for (const char* sql :
       {"SELEC 1", "SELECT 1; SELECT x FROM t; SELECT 2", "BEGIN; INSERT INTO t VALUES (1)"}) {
    CollectedRows rows;
    const QueryOutcome outcome = Query(db, sql, rows);
    EXPECT_FALSE(outcome.success) << sql;
    EXPECT_NE(outcome.errorMessage, "") << sql;
  }
  CollectedRows count;
  ASSERT_TRUE(Query(db, "SELECT count(*) FROM t", count).success);
  EXPECT_EQ(count.rows, (std::vector<std::vector<std::string>>{{"0"}}));

  const auto before = Snapshot();
  for (const std::string& path : {missing, PathOf("text.db"), std::string()}) {
    CollectedRows rows;
    EXPECT_FALSE(Query(path, "SELECT 1", rows).success) << path;
    EXPECT_FALSE(InspectSchemaOf(engine, path, true).success) << path;
    EXPECT_FALSE(AnalyzeDatabaseOf(engine, path).success) << path;
    EXPECT_FALSE(ExportTableOf(engine, path, "t", rows).success) << path;
  }
  EXPECT_EQ(InspectSchemaOf(engine, missing, true).errorMessage,
            "unable to open database file: " + missing);
  EXPECT_EQ(Snapshot(), before);
}

TEST_P(EnginePromises, ReadsLeaveTheDirectoryAsItWasAndSampleRefusesAnExistingFile) {
  const Engine& engine = *GetParam().engine;
  const std::string db =
      MakeDatabase("clean", "CREATE TABLE t (a INTEGER); INSERT INTO t VALUES (1)");
  const auto before = Snapshot();
  EXPECT_TRUE(InspectSchemaOf(engine, db, true).success);
  EXPECT_TRUE(AnalyzeDatabaseOf(engine, db).integrityOk);
  CollectedRows rows;
  EXPECT_TRUE(ExportTableOf(engine, db, "t", rows).success);
  EXPECT_EQ(rows.rows, (std::vector<std::vector<std::string>>{{"1"}}));
  const SampleResult sample = engine.createSampleBenchmarkDb(db);
  EXPECT_FALSE(sample.success);
  EXPECT_FALSE(sample.createdFile);
  EXPECT_EQ(sample.errorMessage, "file already exists: " + db);
  EXPECT_EQ(Snapshot(), before);
}

// One open database reads every table by its identity, in the key's order when asked: schema
// a's table b and a table "a.b" of the default namespace are two tables, where a format has
// schemas.
TEST_P(EnginePromises, AnOpenDatabaseReadsTablesByIdentityInKeyOrder) {
  const bool schemas = GetParam().engine == &kDuckDbEngine;
  const std::string db = MakeDatabase(
      "keyed", schemas
                   ? "CREATE TABLE k (b INTEGER, a INTEGER, PRIMARY KEY (a, b));"
                     "INSERT INTO k VALUES (2, 1), (1, 2), (1, 1);"
                     "CREATE SCHEMA a; CREATE TABLE a.b (x INTEGER); INSERT INTO a.b VALUES (7);"
                     "CREATE TABLE \"a.b\" (x INTEGER); INSERT INTO \"a.b\" VALUES (8);"
                   : "CREATE TABLE k (b INTEGER, a INTEGER, PRIMARY KEY (a, b));"
                     "INSERT INTO k VALUES (2, 1), (1, 2), (1, 1);"
                     "CREATE TABLE \"a.b\" (x INTEGER); INSERT INTO \"a.b\" VALUES (8);");
  std::string error;
  const std::unique_ptr<Database> database = GetParam().engine->openDatabase(db, error);
  ASSERT_TRUE(database) << error;
  const SchemaResult schema = database->ReadCatalog(false);
  ASSERT_TRUE(schema.success) << schema.errorMessage;
  std::vector<std::string> read;
  for (const TableMeta& table : schema.tables) {
    CollectedRows rows;
    ASSERT_TRUE(database->ReadRows(table, rows, RowOrder::kByPrimaryKey).success) << table.name;
    for (const auto& row : rows.rows) {
      read.push_back(table.schema + "|" + table.ownName + ":" + row.at(0));
    }
    if (table.ownName == "k") {
      EXPECT_EQ(table.primaryKey, (std::vector<std::string>{"a", "b"}));
    }
  }
  std::vector<std::string> expected = {"|a.b:8", "|k:1", "|k:2", "|k:1"};
  if (schemas) expected.insert(expected.begin(), "a|b:7");
  EXPECT_EQ(read, expected);
}

INSTANTIATE_TEST_SUITE_P(EnginesOfFiles, EnginePromises,
                         ::testing::Values(EngineOfFiles{&kSqliteEngine, ".db", MakeSqliteDatabase},
                                           EngineOfFiles{&kDuckDbEngine, ".duckdb",
                                                         MakeDuckDbDatabase}),
                         [](const ::testing::TestParamInfo<EngineOfFiles>& info) {
                           return std::string(info.param.engine->name);
                         });

}  // namespace
}  // namespace Corvenmark
