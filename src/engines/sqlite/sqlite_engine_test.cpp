#include "engines/sqlite/sqlite_engine.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/csv.h"
#include "engines/collected_rows.h"
#include "engines/constraint_text.h"
#include "engines/engine_calls_test.h"
#include "platform/native_lines_test.h"
#include "cli/schema_diff.h"
#include "scratch_directory_test.h"

namespace Corvenmark {
namespace {

namespace fs = std::filesystem;

QueryRun Query(const std::string& db, const std::string& sql) {
  return RunQueryThrough(kSqliteEngine, db, sql);
}

CsvExport Export(const std::string& db, const std::string& table) {
  return ExportThrough(kSqliteEngine, db, table);
}

SchemaResult Schema(const std::string& db) { return InspectSchemaOf(kSqliteEngine, db, true); }

SchemaDiff Diff(const std::string& first, const std::string& second) {
  const SchemaResult a = InspectSchemaOf(kSqliteEngine, first, false);
  const SchemaResult b = InspectSchemaOf(kSqliteEngine, second, false);
  if (!a.success || !b.success) return SchemaDiff{};
  return CompareSchemas(a, b);
}

class SqliteEngineTest : public ScratchDirectoryTest {
 protected:
  std::string MakeDatabase(const std::string& name, const char* sql) {
    const std::string path = PathOf(name);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << error;
    sqlite3_free(error);
    sqlite3_close(db);
    return path;
  }

};

const char kValues[] =
    "CREATE TABLE v (id INTEGER PRIMARY KEY, n, r REAL, t TEXT, b BLOB);"
    "INSERT INTO v VALUES (1, NULL, 1.5, 'tab\there, \"quoted\"', x'0A1BFF');"
    "INSERT INTO v VALUES (2, -42, 1e100, 'line\nbreak\r\nand ünïcode ☃', x'');"
    "INSERT INTO v VALUES (3, 9223372036854775807, 0.1, '', NULL);";

TEST_F(SqliteEngineTest, QueryRendersEveryKindOfValue) {
  const std::string db = MakeDatabase("values.db", kValues);
  const QueryRun result = Query(db, "SELECT * FROM v ORDER BY id");
  ASSERT_TRUE(result.success) << result.errorMessage;
  EXPECT_EQ(result.columns, (std::vector<std::string>{"id", "n", "r", "t", "b"}));
  const std::vector<std::vector<std::string>> rows = {
      {"1", "<null>", "1.5", "tab\there, \"quoted\"", "X'0A1BFF'"},
      {"2", "-42", "1.0e+100", "line\nbreak\r\nand ünïcode ☃", "X''"},
      {"3", "9223372036854775807", "0.1", "", "<null>"},
  };
  EXPECT_EQ(result.rows, rows);
}

TEST_F(SqliteEngineTest, RealsReadBackToTheSameDouble) {
  const char* const kReals[] = {"0.1 + 0.2", "1.0 / 3", "2.0 / 3", "1e100", "1e-7",
                                "123456789012345678.0", "2.5e-310", "9007199254740993.0",
                                "1.7976931348623157e308", "-4.9e-324", "0.1", "1e16"};
  std::string sql = "SELECT ";
  for (const char* real : kReals) sql += std::string(real) + (real == kReals[11] ? "" : ", ");
  const QueryRun result = Query(MakeDatabase("reals.db", "CREATE TABLE unused (x)"), sql);
  ASSERT_TRUE(result.success) << result.errorMessage;
  ASSERT_EQ(result.rows.size(), 1u);

  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
  for (int i = 0; i < 12; ++i) {
    const std::string& text = result.rows[0].at(static_cast<size_t>(i));
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), sqlite3_column_double(statement, i))
        << kReals[i] << " written as " << text;
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
}

TEST_F(SqliteEngineTest, FailuresSaySqlitesOwnWords) {
  const std::string db = MakeDatabase("ok.db", "CREATE TABLE t (a)");
  std::ofstream(PathOf("text.db")) << std::string(4096, 'x');
  const std::string missing = PathOf("missing.db");
  const struct {
    std::string path;
    const char* sql;
    const char* message;
  } cases[] = {
      {db, "SELEC 1", "near \"SELEC\": syntax error"},
      {db, "SELECT * FROM nowhere", "no such table: nowhere"},
      {db, "SELECT 1; SELECT x FROM t; SELECT 2", "no such column: x"},
      {missing, "SELECT 1", "unable to open database file"},
      {PathOf("text.db"), "SELECT 1", "file is not a database"},
  };
  const auto before = Snapshot();
  for (const auto& c : cases) {
    const QueryRun result = Query(c.path, c.sql);
    EXPECT_FALSE(result.success) << c.sql;
    EXPECT_NE(result.errorMessage.find(c.message), std::string::npos) << result.errorMessage;
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SqliteEngineTest, SchemaListsUserTablesInByteOrder) {
  const std::string db = MakeDatabase(
      "schema.db",
      "CREATE TABLE users (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL DEFAULT '?',"
      " \"odd \"\"col\"\"\" varchar(20));"
      "INSERT INTO users (name) VALUES ('a'), ('b'), ('c');"
      "CREATE TABLE \"Odd \"\"name\"\"\" (k, v, PRIMARY KEY (k, v));"
      "CREATE TABLE \"ünï\" (x);"
      "CREATE VIEW user_names AS SELECT name FROM users;"
      "CREATE INDEX users_by_name ON users (name);");
  const SchemaResult schema = Schema(db);
  ASSERT_TRUE(schema.success) << schema.errorMessage;
  ASSERT_EQ(schema.tables.size(), 3u);  // sqlite_sequence, the view and the index are left out
  EXPECT_EQ(schema.tables[0].name, "Odd \"name\"");
  EXPECT_EQ(schema.tables[1].name, "users");
  EXPECT_EQ(schema.tables[2].name, "ünï");

  const TableMeta& odd = schema.tables[0];
  EXPECT_EQ(odd.rowCount, 0);
  ASSERT_EQ(odd.columns.size(), 2u);
  EXPECT_TRUE(odd.columns[0].primaryKey);
  EXPECT_TRUE(odd.columns[1].primaryKey);
  EXPECT_EQ(odd.columns[0].type, "");

  const TableMeta& users = schema.tables[1];
  EXPECT_EQ(users.rowCount, 3);
  EXPECT_EQ(users.createSql.rfind("CREATE TABLE users (id INTEGER PRIMARY KEY", 0), 0u);
  ASSERT_EQ(users.columns.size(), 3u);
  EXPECT_EQ(users.columns[0].name, "id");
  EXPECT_EQ(users.columns[0].type, "INTEGER");
  EXPECT_TRUE(users.columns[0].primaryKey);
  EXPECT_EQ(users.columns[1].name, "name");
  EXPECT_EQ(users.columns[1].ordinal, 1);
  EXPECT_TRUE(users.columns[1].notNull);
  EXPECT_EQ(users.columns[1].defaultValue, "'?'");
  EXPECT_FALSE(users.columns[1].primaryKey);
  EXPECT_EQ(users.columns[2].name, "odd \"col\"");
  EXPECT_EQ(users.columns[2].type, "varchar(20)");
  EXPECT_EQ(users.columns[2].defaultValue, "");
}

// SQLite keeps a CHECK only in its statement: one in a string, a name or a comment is none.
TEST_F(SqliteEngineTest, SchemaReadsEveryConstraintOnce) {
  const struct {
    const char* create;
    std::vector<std::string> constraints;
  } cases[] = {
      {"CREATE TABLE t (a INTEGER CHECK (a > 0) UNIQUE, b TEXT DEFAULT 'CHECK (x)', "
       "\"check\" INT, c REFERENCES p, /* CHECK (no) */ CHECK(length(b) < (5)), UNIQUE (b, a),"
       " FOREIGN KEY (a, b) REFERENCES p (x, y))",
       {"CHECK (a > 0)", "CHECK (length(b) < (5))", "FOREIGN KEY (a, b) REFERENCES p (x, y)",
        "FOREIGN KEY (c) REFERENCES p (id)", "UNIQUE (a)", "UNIQUE (b, a)"}},
      {"CREATE TABLE t (a, b, PRIMARY KEY (a)) WITHOUT ROWID", {}},
  };
  for (const auto& c : cases) {
    fs::remove(dir_ / "c.db");
    const std::string db =
        MakeDatabase("c.db", (std::string("CREATE TABLE p (id INTEGER PRIMARY KEY, x, y);") + c.create).c_str());
    const SchemaResult schema = Schema(db);
    ASSERT_TRUE(schema.success) << schema.errorMessage;
    std::vector<std::string> texts;
    for (const ConstraintMeta& constraint : schema.tables.at(1).constraints) {
      texts.push_back(ConstraintText(constraint));
    }
    EXPECT_EQ(texts, c.constraints) << c.create;
  }
}

TEST_F(SqliteEngineTest, UnreadableVirtualTableDoesNotHideTheSchema) {
  const std::string db = MakeDatabase(
      "virtual.db",
      "CREATE TABLE a (x INTEGER PRIMARY KEY); CREATE TABLE z (y); PRAGMA writable_schema = ON;"
      "INSERT INTO sqlite_master VALUES "
      "('table', 'm', 'm', 0, 'CREATE VIRTUAL TABLE m USING no_such_module (p, q)');");
  const SchemaResult schema = Schema(db);
  ASSERT_TRUE(schema.success) << schema.errorMessage;
  ASSERT_EQ(schema.tables.size(), 3u);
  EXPECT_EQ(schema.tables[0].columns.size(), 1u);
  EXPECT_EQ(schema.tables[1].name, "m");
  EXPECT_EQ(schema.tables[1].rowCount, -1);
  EXPECT_TRUE(schema.tables[1].columns.empty());
  EXPECT_EQ(schema.tables[2].name, "z");
  EXPECT_FALSE(Export(db, "m").success);
}

TEST_F(SqliteEngineTest, AnalyzeReportsPragmas) {
  const std::string db = MakeDatabase(
      "a.db", "PRAGMA page_size = 1024; CREATE TABLE t (a); INSERT INTO t VALUES (1);");
  const DbDiagnostics diagnostics = AnalyzeDatabaseOf(kSqliteEngine, db);
  ASSERT_TRUE(diagnostics.success) << diagnostics.errorMessage;
  EXPECT_TRUE(diagnostics.integrityOk);
  EXPECT_TRUE(diagnostics.integrityChecked);
  EXPECT_EQ(diagnostics.journalMode, "delete");
  EXPECT_EQ(diagnostics.pageSize, 1024);
  EXPECT_EQ(diagnostics.pageCount * diagnostics.pageSize, static_cast<int64_t>(fs::file_size(db)));
  EXPECT_EQ(diagnostics.freelistCount, 0);

  const std::string wal = MakeDatabase("wal.db", "PRAGMA journal_mode = wal; CREATE TABLE t (a)");
  EXPECT_EQ(AnalyzeDatabaseOf(kSqliteEngine, wal).journalMode, "wal");
}

TEST_F(SqliteEngineTest, DamagedDatabaseNeverPasses) {
  const std::string db =
      MakeDatabase("damaged.db",
                   "PRAGMA page_size = 1024; CREATE TABLE t (a INTEGER PRIMARY KEY, b TEXT);"
                   "CREATE INDEX t_b ON t (b);"
                   "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
                   " INSERT INTO t SELECT i, printf('row %d', i) FROM n;");
  {
    // Scribble over the middle of a few pages, past the header page.
    std::fstream file(db, std::ios::in | std::ios::out | std::ios::binary);
    for (int page = 3; page < 40; page += 5) {
      file.seekp(page * 1024 + 100);
      file << std::string(200, '\x7f');
    }
  }
  const DbDiagnostics diagnostics = AnalyzeDatabaseOf(kSqliteEngine, db);
  EXPECT_FALSE(diagnostics.success && diagnostics.integrityOk);
}

TEST_F(SqliteEngineTest, ExportWritesQuotedCsv) {
  const std::string db = MakeDatabase("values.db", kValues);
  const CsvExport csv = Export(db, "v");
  ASSERT_TRUE(csv.success) << csv.errorMessage;
  // Line ends inside a value go out as they are; each record ends with the platform's own.
  const std::string end(kLineEnd);
  EXPECT_EQ(csv.text, "id,n,r,t,b" + end + "1,,1.5,\"tab\there, \"\"quoted\"\"\",X'0A1BFF'" + end +
                          "2,-42,1.0e+100,\"line\nbreak\r\nand ünïcode ☃\",X''" + end +
                          "3,9223372036854775807,0.1,\"\"," + end);
}

TEST_F(SqliteEngineTest, ExportFindsTablesByTheirOwnNames) {
  const std::string db = MakeDatabase(
      "names.db",
      "CREATE TABLE \"a,b \"\"c\"\"\" (\"x,y\" TEXT); INSERT INTO \"a,b \"\"c\"\"\" VALUES ('1');"
      "CREATE TABLE Orders (id); INSERT INTO Orders VALUES (7);"
      "CREATE VIEW big AS SELECT id * 2 AS twice FROM Orders;");
  const struct {
    const char* table;
    bool found;
    const char* text;
  } cases[] = {
      {"a,b \"c\"", true, "\"x,y\"\n1\n"}, {"orders", true, "id\n7\n"},
      {"big", true, "twice\n14\n"},        {"Orders; DROP TABLE Orders", false, ""},
      {"\"Orders\"", false, ""},           {"nothing", false, ""},
      {"sqlite_master", false, ""},
  };
  for (const auto& c : cases) {
    const CsvExport csv = Export(db, c.table);
    EXPECT_EQ(csv.success, c.found) << c.table;
    EXPECT_EQ(FromNativeLines(csv.text), c.text) << c.table;
    if (!c.found) {
      EXPECT_EQ(csv.errorMessage, std::string("no such table: ") + c.table);
    }
  }
  EXPECT_EQ(FromNativeLines(Export(db, "Orders").text), "id\n7\n");
}

TEST_F(SqliteEngineTest, ReadOnlyOperationsLeaveTheDirectoryAsItWas) {
  const std::string rollback = MakeDatabase("r.db", "CREATE TABLE t (a); INSERT INTO t VALUES (1)");
  const std::string wal = MakeDatabase(
      "w.db", "PRAGMA journal_mode = wal; CREATE TABLE t (b); INSERT INTO t VALUES (2)");
  const auto before = Snapshot();
  ASSERT_EQ(before.size(), 2u);  // closing the last connection removes the log
  for (const std::string& db : {rollback, wal}) {
    EXPECT_TRUE(Schema(db).success);
    EXPECT_TRUE(AnalyzeDatabaseOf(kSqliteEngine, db).integrityOk);
    EXPECT_TRUE(Export(db, "t").success);
  }
  EXPECT_TRUE(Diff(rollback, wal).success);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SqliteEngineTest, DiffComparesBothSchemas) {
  const std::string first = MakeDatabase(
      "1.db", "CREATE TABLE t (id INTEGER PRIMARY KEY, old TEXT); CREATE TABLE gone (x)");
  const std::string second =
      MakeDatabase("2.db", "CREATE TABLE t (id TEXT PRIMARY KEY, added); CREATE TABLE fresh (y)");
  const SchemaDiff diff = Diff(first, second);
  ASSERT_TRUE(diff.success) << diff.errorMessage;
  EXPECT_EQ(diff.tablesOnlyInFirst, (std::vector<std::string>{"gone"}));
  EXPECT_EQ(diff.tablesOnlyInSecond, (std::vector<std::string>{"fresh"}));
  ASSERT_EQ(diff.changedTables.size(), 1u);
  EXPECT_EQ(diff.changedTables[0].removedColumns.at(0).name, "old");
  EXPECT_EQ(diff.changedTables[0].addedColumns.at(0).name, "added");
  EXPECT_EQ(diff.changedTables[0].changedColumns.at(0).typeAfter, "TEXT");
}

TEST_F(SqliteEngineTest, SampleRefusesADirectoryAndAMissingOne) {
  const auto before = Snapshot();
  EXPECT_FALSE(SqliteEngine::CreateSampleBenchmarkDb(dir_.string()).success);
  EXPECT_FALSE(SqliteEngine::CreateSampleBenchmarkDb(PathOf("no/such/dir.db")).success);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SqliteEngineTest, SampleHoldsAMillionRowsAndIsTheSameEachTime) {
  const std::string first = PathOf("first.db");
  const std::string second = PathOf("second.db");
  const SampleResult sample = SqliteEngine::CreateSampleBenchmarkDb(first);
  ASSERT_TRUE(sample.success) << sample.errorMessage;
  EXPECT_EQ(sample.status, "OK");
  ASSERT_TRUE(SqliteEngine::CreateSampleBenchmarkDb(second).success);
  EXPECT_EQ(Snapshot().size(), 2u);
  EXPECT_TRUE(ReadBytes(first) == ReadBytes(second));

  const SchemaResult schema = Schema(first);
  ASSERT_TRUE(schema.success);
  int64_t rows = 0;
  for (const TableMeta& table : schema.tables) rows += table.rowCount;
  EXPECT_GE(rows, 1000000);
  const DbDiagnostics diagnostics = AnalyzeDatabaseOf(kSqliteEngine, first);
  EXPECT_TRUE(diagnostics.integrityOk);
}

}  // namespace
}  // namespace Corvenmark
