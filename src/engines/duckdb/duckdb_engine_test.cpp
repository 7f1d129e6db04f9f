#include "engines/duckdb/duckdb_engine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <thread>

#include "cli/csv.h"
#include "engines/collected_rows.h"
#include "engines/duckdb/duckdb_database.h"
#include "engines/engine_calls_test.h"
#include "engines/sqlite/sqlite_engine.h"
#include "engines/type_family.h"
#include "platform/native_lines_test.h"
#include "cli/schema_diff.h"
#include "scratch_directory_test.h"

namespace Corvenmark {
namespace {

namespace fs = std::filesystem;

QueryRun Query(const std::string& db, const std::string& sql) {
  return RunQueryThrough(kDuckDbEngine, db, sql);
}

CsvExport Export(const std::string& db, const std::string& table) {
  CsvExport csv = ExportThrough(kDuckDbEngine, db, table);
  csv.text = FromNativeLines(csv.text);
  return csv;
}

// Takes `limit` rows, then refuses more.
struct StoppingSink : RowSink {
  explicit StoppingSink(int limit) : limit(limit) {}
  bool BeginResult(const std::vector<std::string>&) override { return limit >= 0; }
  bool AddRow(const CellView*, size_t) override { return taken++ < limit; }
  int limit;
  int taken = 0;
};

class DuckDbEngineTest : public ScratchDirectoryTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(DuckDbEngine::WhyUnavailable().empty()) << DuckDbEngine::WhyUnavailable();
    ScratchDirectoryTest::SetUp();
  }

  // A new database made through DuckDB's C API, holding what `sql` creates.
  std::string MakeDatabase(const std::string& name, const char* sql) {
    const std::string path = PathOf(name);
    const OpenedDuckDb opened = OpenDuckDb(path, DuckDbOpenMode::kCreate);
    EXPECT_TRUE(opened.database) << opened.errorMessage;
    if (!opened.database) return path;
    DuckDbResult result;
    EXPECT_EQ(DuckDb()->duckdb_query(opened.connection.get(), sql, result.get()), DuckDBSuccess)
        << result.Error();
    return path;
  }

};

TEST_F(DuckDbEngineTest, CellsAreDuckDbsOwnTextOfEveryType) {
  const std::string db = MakeDatabase(
      "types.duckdb", "CREATE TYPE mood AS ENUM ('sad', 'happy'); CREATE TABLE m (x mood)");
  // Each value beside CAST(value AS VARCHAR): both cells must read the same, and as expected.
  const struct {
    const char* expression;
    const char* text;
  } cases[] = {
      // Written by the program itself.
      {"CAST(1234.5 AS DECIMAL(12,2))", "1234.50"},
      {"CAST(-0.01 AS DECIMAL(4,3))", "-0.010"},
      {"CAST(0.123 AS DECIMAL(3,3))", ".123"},
      {"CAST(-0.5 AS DECIMAL(1,1))", "-.5"},
      {"CAST(0.5 AS DECIMAL(2,1))", "0.5"},
      {"CAST(-7 AS DECIMAL(4,0))", "-7"},
      {"CAST(-999999999999999999 AS DECIMAL(18,0))", "-999999999999999999"},
      {"CAST(-12345678901234567890.123456789 AS DECIMAL(38,9))", "-12345678901234567890.123456789"},
      {"CAST(0 AS DECIMAL(38,38))", ".00000000000000000000000000000000000000"},
      {"CAST(0 AS DECIMAL(38,37))", "0.0000000000000000000000000000000000000"},
      {"CAST('-170141183460469231731687303715884105728' AS HUGEINT)",
       "-170141183460469231731687303715884105728"},
      {"340282366920938463463374607431768211455::UHUGEINT",
       "340282366920938463463374607431768211455"},
      {"CAST('-9223372036854775808' AS BIGINT)", "-9223372036854775808"},
      {"18446744073709551615::UBIGINT", "18446744073709551615"},
      {"CAST('-128' AS TINYINT)", "-128"},
      {"65535::USMALLINT", "65535"},
      {"CAST('-2147483648' AS INTEGER)", "-2147483648"},
      {"false", "false"},
      {"true", "true"},
      // Cast by DuckDB.
      {"DATE '2024-02-29'", "2024-02-29"},
      {"TIME '23:59:58.5'", "23:59:58.5"},
      {"TIMESTAMP '2024-01-02 03:04:05.678'", "2024-01-02 03:04:05.678"},
      {"TIMESTAMPTZ '2024-01-02 03:04:05+02'", "2024-01-02 01:04:05+00"},
      {"INTERVAL 14 MONTH + INTERVAL 3 DAY + INTERVAL 90 MINUTE",
       "1 year 2 months 3 days 01:30:00"},
      {"UUID '12345678-9abc-def0-1234-56789abcdef0'", "12345678-9abc-def0-1234-56789abcdef0"},
      {"'\\x00\\x0Aa\\xFF'::BLOB", "\\x00\\x0Aa\\xFF"},
      {"[1, NULL, 3]", "[1, NULL, 3]"},
      {"['a', 'b c', '', NULL, 'it''s']", "[a, b c, '', NULL, 'it\\'s']"},
      {"{'k': 1, 'v': 'x y'}", "{'k': 1, 'v': x y}"},
      {"MAP {'a': 1, 'b': NULL}", "{a=1, b=NULL}"},
      {"[1, 2]::INTEGER[2]", "[1, 2]"},
      {"'happy'::mood", "happy"},
      {"union_value(n := 7)", "7"},
      {"1.5::DOUBLE", "1.5"},
      {"1e100::DOUBLE", "1e+100"},
      {"0.1::FLOAT", "0.1"},
      {"'-inf'::DOUBLE", "-inf"},
      {"'inf'::DOUBLE", "inf"},
      {"'nan'::DOUBLE", "nan"},
      {"-0.0::DOUBLE", "-0.0"},
      {"100::DOUBLE", "100.0"},
      {"1e15::DOUBLE", "1000000000000000.0"},
      {"1e16::DOUBLE", "1e+16"},
      {"-0.0001::DOUBLE", "-0.0001"},
      {"0.00001234::DOUBLE", "1.234e-05"},
      {"5e-324::DOUBLE", "5e-324"},
      {"1.7976931348623157e308::DOUBLE", "1.7976931348623157e+308"},
      {"'tab\there, \"quoted\"'", "tab\there, \"quoted\""},
      {"'ünïcode ☃'", "ünïcode ☃"},
      {"''", ""},
  };
  for (const auto& c : cases) {
    const std::string sql = "SET TimeZone = 'UTC'; SELECT " + std::string(c.expression) +
                            " AS v, CAST(" + c.expression + " AS VARCHAR) AS t";
    const QueryRun result = Query(db, sql);
    ASSERT_TRUE(result.success) << c.expression << ": " << result.errorMessage;
    ASSERT_EQ(result.rows.size(), 1u) << c.expression;
    EXPECT_EQ(result.rows[0].at(0), c.text) << c.expression;
    EXPECT_EQ(result.rows[0].at(0), result.rows[0].at(1)) << c.expression;
  }

  // Doubles of every magnitude, beside DuckDB's own text of them.
  const QueryRun doubles = Query(db,
                                 "SELECT d, CAST(d AS VARCHAR) FROM (SELECT (random() - 0.5) * "
                                 "pow(10, floor(random() * 600 - 300)) AS d FROM range(4000))");
  ASSERT_TRUE(doubles.success) << doubles.errorMessage;
  ASSERT_EQ(doubles.rows.size(), 4000u);
  for (const std::vector<std::string>& row : doubles.rows) EXPECT_EQ(row.at(0), row.at(1));

  // Columns written by the program and cast by DuckDB side by side, over many chunks, in a
  // query and in an export.
  const char* mixedSql =
      "CREATE TABLE mixed AS SELECT i, CAST(i AS DECIMAL(30,3)) / 8 AS d, i * 0.5 AS f,"
      " CASE WHEN i % 3 = 0 THEN NULL ELSE [i] END AS l, 'x' || i AS s FROM range(5000) r(i)";
  ASSERT_TRUE(Query(db, mixedSql).success);
  const QueryRun mixed = Query(db, "SELECT * FROM mixed ORDER BY i");
  ASSERT_TRUE(mixed.success) << mixed.errorMessage;
  ASSERT_EQ(mixed.rows.size(), 5000u);
  EXPECT_EQ(mixed.rows[4097],
            (std::vector<std::string>{"4097", "512.125", "2048.5", "[4097]", "x4097"}));
  EXPECT_EQ(mixed.rows[4098].at(3), "<null>");
  std::string expected = "i,d,f,l,s\n";
  for (const std::vector<std::string>& row : mixed.rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      expected += (i > 0 ? "," : "") + (row[i] == "<null>" ? "" : row[i]);
    }
    expected += '\n';
  }
  EXPECT_TRUE(Export(db, "mixed").text == expected);

  // NULL of any type is a null cell; a time zone set by an earlier statement shows.
  const QueryRun nulls =
      Query(db,
            "SELECT NULL, NULL::INTEGER[], NULL::mood; SET TimeZone = 'America/New_York';"
            "SELECT NULL::VARCHAR AS n, TIMESTAMPTZ '2024-07-01 12:00:00+00' AS tz");
  ASSERT_TRUE(nulls.success) << nulls.errorMessage;
  EXPECT_EQ(nulls.columns, (std::vector<std::string>{"n", "tz"}));
  EXPECT_EQ(nulls.rows,
            (std::vector<std::vector<std::string>>{{"<null>", "2024-07-01 08:00:00-04"}}));
  EXPECT_EQ(nulls.results, 2);
}

TEST_F(DuckDbEngineTest, QueryReturnsWhatDuckDbAloneCanAndManyChunksInOrder) {
  const std::string db = MakeDatabase("multi.duckdb", "CREATE TABLE t (a INTEGER, b VARCHAR)");
  ExpectQueries(kDuckDbEngine, db,
                {
                    {"INSERT INTO t VALUES (1, 'x'), (2, 'y')", {}, {}, 2},
                    {"SELECT 1 AS a, 2 AS a", {"a", "a"}, {{"1", "2"}}, 0},
                    {"DELETE FROM t WHERE a = 1 RETURNING a", {"a"}, {{"1"}}, 0},
                    {"DELETE FROM t", {}, {}, 1},
                    {"BEGIN; INSERT INTO t VALUES (5, 'v'); COMMIT; SELECT count(*) AS n FROM t",
                     {"n"},
                     {{"1"}},
                     1},
                });
  // Many rows arrive in many chunks, every one of them in order.
  const QueryRun range = Query(db, "SELECT i FROM range(5000) r(i)");
  ASSERT_EQ(range.rows.size(), 5000u);
  EXPECT_EQ(range.rows[4999].at(0), "4999");
}

TEST_F(DuckDbEngineTest, FailuresSayDuckDbsOwnWordsAndForeignFilesChangeNothing) {
  const std::string db = MakeDatabase("ok.duckdb", "CREATE TABLE t (a INTEGER)");
  std::ofstream(PathOf("text.db")) << std::string(4096, 'x');
  std::ofstream(PathOf("empty.duckdb"));
  std::ofstream(PathOf("lite.db"), std::ios::binary)
      << "SQLite format 3" << '\0' << std::string(4080, '\0');
  const struct {
    std::string path;
    const char* sql;
    std::string message;
  } cases[] = {
      {db, "SELEC 1", "Parser Error: syntax error at or near \"SELEC\""},
      {db, "SELECT * FROM nowhere", "Catalog Error: Table with name nowhere does not exist!"},
      {db, "SELECT 1; SELECT x FROM t; SELECT 2",
       "line 1: Binder Error: Referenced column \"x\" not found"},
      {db, "SELECT error('boom')", "Invalid Input Error: boom"},
      {db, "BEGIN; INSERT INTO t VALUES (1)",
       "the SQL text left a transaction open; it was rolled back"},
      {PathOf("missing.duckdb"), "SELECT 1",
       "unable to open database file: " + PathOf("missing.duckdb")},
      {PathOf("text.db"), "SELECT 1", "file is not a DuckDB database: " + PathOf("text.db")},
      {PathOf("lite.db"), "SELECT 1", "file is not a DuckDB database: " + PathOf("lite.db")},
  };
  for (const auto& c : cases) {
    const QueryRun result = Query(c.path, c.sql);
    EXPECT_FALSE(result.success) << c.sql;
    EXPECT_EQ(result.errorMessage.rfind(c.message, 0), 0u) << c.sql << ": " << result.errorMessage;
  }
  // The open transaction was rolled back, not committed.
  EXPECT_EQ(Query(db, "SELECT count(*) FROM t").rows,
            (std::vector<std::vector<std::string>>{{"0"}}));

  const auto before = Snapshot();
  for (const char* name : {"empty.duckdb", "lite.db"}) {
    const std::string path = PathOf(name);
    EXPECT_FALSE(InspectSchemaOf(kDuckDbEngine, path, true).success) << name;
    EXPECT_FALSE(AnalyzeDatabaseOf(kDuckDbEngine, path).success) << name;
    EXPECT_FALSE(Export(path, "t").success) << name;
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(DuckDbEngineTest, PathsThatAreNotRegularFilesAreRefusedUnread) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no FIFOs in its file system";
#else
  const std::string db = MakeDatabase("db.duckdb", "CREATE TABLE t (a INTEGER)");
  fs::create_directory(PathOf("special"));
  fs::copy_file(db, PathOf("special/logged.duckdb"));
  // Each FIFO is held open and fed before every call, so that reading one fails rather than
  // waits.
  std::vector<int> writers;
  for (const char* fifo : {"special/fifo", "special/logged.duckdb.wal"}) {
    ASSERT_EQ(mkfifo(PathOf(fifo).c_str(), 0600), 0);
    writers.push_back(open(PathOf(fifo).c_str(), O_RDWR | O_NONBLOCK));
  }
  const auto feed = [&] {
    for (const int writer : writers) {
      ASSERT_EQ(write(writer, "not a DuckDB database, not a log", 32), 32);
    }
  };
  const std::function<std::string(const std::string&)> operations[] = {
      [](const std::string& path) { return Query(path, "SELECT 1").errorMessage; },
      [](const std::string& path) { return InspectSchemaOf(kDuckDbEngine, path, true).errorMessage; },
      [](const std::string& path) { return AnalyzeDatabaseOf(kDuckDbEngine, path).errorMessage; },
      [](const std::string& path) { return Export(path, "t").errorMessage; },
  };
  const struct {
    std::string path;
    std::string refused;
  } cases[] = {
      {PathOf("special/fifo"), PathOf("special/fifo")},
      {PathOf("special"), PathOf("special")},
      {PathOf("special/logged.duckdb"), PathOf("special/logged.duckdb.wal")},
  };
  for (const auto& c : cases) {
    for (const auto& operation : operations) {
      feed();
      EXPECT_EQ(operation(c.path), c.refused + ": not a regular file");
    }
  }
  for (const int writer : writers) close(writer);
#endif
}

TEST_F(DuckDbEngineTest, QueryReachesFilesItNamesButNoExtensionOrLockedSetting) {
  const std::string db = MakeDatabase("locked.duckdb", "CREATE TABLE t AS SELECT 1 AS a");
  MakeDatabase("other.duckdb", "CREATE TABLE o AS SELECT 2 AS b");
  // DuckDB keeps extensions and secrets under the home directory unless told otherwise.
  const std::string home = PathOf("home");
  const char* realHome = getenv("HOME");
  const std::string savedHome = realHome != nullptr ? realHome : "";
  SetEnvironmentValue("HOME", home.c_str());
  const char kLocked[] = "Invalid Input Error: Cannot change configuration option";
  const std::string csv = QuotedText(PathOf("t.csv"));
  // An empty message: the SQL runs. In order: the COPY makes the file the read reads.
  const struct {
    std::string sql;
    std::string message;
  } cases[] = {
      {"INSTALL httpfs", "extensions are not installed or loaded"},
      {"LOAD json", "extensions are not installed or loaded"},
      {"PRAGMA enable_profiling; SELECT 1",
       "line 1: PRAGMA statements that change DuckDB's settings"},
      {"PRAGMA enable_progress_bar", "PRAGMA statements that change DuckDB's settings"},
      {"SET autoinstall_known_extensions = true", kLocked},
      {"SET extension_directory = '/tmp'", kLocked},
      {"SET enable_progress_bar = true", kLocked},
      {"SET lock_configuration = false", kLocked},
      {"SET threads = 4; SET memory_limit = '1GB'", ""},
      {"ATTACH " + QuotedText(PathOf("other.duckdb")) + " AS o; SELECT * FROM o.o", ""},
      {"COPY t TO " + csv, ""},
      {"SELECT * FROM read_csv(" + csv + ")", ""},
  };
  for (const auto& c : cases) {
    const QueryRun result = Query(db, c.sql);
    EXPECT_EQ(result.success, c.message.empty()) << c.sql << ": " << result.errorMessage;
    EXPECT_EQ(result.errorMessage.rfind(c.message, 0), 0u) << c.sql << ": " << result.errorMessage;
  }
  // DuckDB's own threads and memory limit, not those of the program's own reads.
  const QueryRun settings =
      Query(db,
            "SET TimeZone = 'UTC'; SELECT current_setting('threads') = 1, "
            "current_setting('memory_limit') = '128.0 MiB', current_setting('TimeZone')");
  ASSERT_TRUE(settings.success) << settings.errorMessage;
  EXPECT_EQ(settings.rows.at(0).at(2), "UTC");
  if (std::thread::hardware_concurrency() > 1) {
    EXPECT_EQ(settings.rows.at(0).at(0), "false");
  }
  EXPECT_EQ(settings.rows.at(0).at(1), "false");
  EXPECT_TRUE(fs::exists(PathOf("t.csv")));
  EXPECT_FALSE(fs::exists(home));
  SetEnvironmentValue("HOME", realHome != nullptr ? savedHome.c_str() : nullptr);
}

TEST_F(DuckDbEngineTest, OnlyQuerySpillsWhatExceedsTheMemoryLimit) {
  // Sorting 2,000,000 rows of 40 bytes takes more than DuckDB's 128 MiB.
  const std::string db = MakeDatabase(
      "spill.duckdb",
      "CREATE VIEW sorted AS SELECT i, md5(CAST(i AS VARCHAR)) AS h FROM range(2000000) r(i) "
      "ORDER BY h");
  const auto before = Snapshot();
  const CsvExport csv = Export(db, "sorted");
  EXPECT_FALSE(csv.success);
  EXPECT_EQ(csv.errorMessage, kOutOfMemory);
  StoppingSink all(std::numeric_limits<int>::max());
  const QueryOutcome sorted = DuckDbEngine::RunQuery(db, "SELECT * FROM sorted", all);
  EXPECT_TRUE(sorted.success) << sorted.errorMessage;
  EXPECT_EQ(all.taken, 2000000);
  // Neither left a file behind: the export made none, the query removed its spill directory.
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(DuckDbEngineTest, SinkThatStopsEndsTheQueryWithoutAMessage) {
  const std::string db =
      MakeDatabase("stop.duckdb", "CREATE TABLE t AS SELECT * FROM range(10000)");
  for (const int limit : {-1, 0, 2, 3000}) {
    StoppingSink sink(limit);
    const QueryOutcome outcome = DuckDbEngine::RunQuery(db, "SELECT * FROM t; SELECT 1", sink);
    EXPECT_FALSE(outcome.success) << limit;
    EXPECT_EQ(outcome.errorMessage, "") << limit;
    EXPECT_EQ(sink.taken, limit + 1 > 0 ? limit + 1 : 0) << limit;
    StoppingSink exportSink(limit);
    const Outcome exported = ExportTableOf(kDuckDbEngine, db, "t", exportSink);
    EXPECT_FALSE(exported.success) << limit;
    EXPECT_EQ(exported.errorMessage, "") << limit;
  }
}

const char kSchemaSql[] =
    "CREATE TABLE users (id INTEGER PRIMARY KEY, name VARCHAR NOT NULL DEFAULT '?',"
    " \"odd \"\"col\"\"\" DECIMAL(12,2), tags VARCHAR[], pair STRUCT(k INTEGER, v VARCHAR));"
    "INSERT INTO users (id, name) VALUES (1, 'a'), (2, 'b'), (3, 'c');"
    "CREATE TABLE \"Odd \"\"name\"\" here\" (k INTEGER, v VARCHAR, w DOUBLE, PRIMARY KEY (v, k));"
    "CREATE SCHEMA sales; CREATE TABLE sales.orders (n BIGINT); INSERT INTO sales.orders VALUES "
    "(7);"
    "CREATE TABLE \"Zeta\" (m MAP(VARCHAR, INTEGER));"
    "CREATE VIEW user_names AS SELECT name FROM users;"
    "CREATE SEQUENCE s; CREATE INDEX users_by_name ON users (name);";

TEST_F(DuckDbEngineTest, SchemaListsBaseTablesInByteOrderOfTheirNames) {
  const std::string db = MakeDatabase("schema.duckdb", kSchemaSql);
  const SchemaResult schema = InspectSchemaOf(kDuckDbEngine, db, true);
  ASSERT_TRUE(schema.success) << schema.errorMessage;
  std::vector<std::string> names;
  for (const TableMeta& table : schema.tables) names.push_back(table.name);
  // The view, the sequence, the index and DuckDB's own tables are left out.
  EXPECT_EQ(names,
            (std::vector<std::string>{"Odd \"name\" here", "Zeta", "sales.orders", "users"}));
  ASSERT_EQ(schema.tables.size(), 4u);

  const TableMeta& odd = schema.tables[0];
  EXPECT_EQ(odd.rowCount, 0);
  ASSERT_EQ(odd.columns.size(), 3u);
  EXPECT_TRUE(odd.columns[0].primaryKey);
  EXPECT_TRUE(odd.columns[1].primaryKey);
  EXPECT_FALSE(odd.columns[2].primaryKey);
  EXPECT_EQ(odd.columns[2].type, "DOUBLE");
  EXPECT_EQ(schema.tables[1].columns.at(0).type, "MAP(VARCHAR, INTEGER)");
  EXPECT_EQ(schema.tables[2].rowCount, 1);
  EXPECT_EQ(schema.tables[2].columns.at(0).type, "BIGINT");

  const TableMeta& users = schema.tables[3];
  EXPECT_EQ(users.rowCount, 3);
  EXPECT_EQ(users.createSql.rfind("CREATE TABLE users(", 0), 0u) << users.createSql;
  ASSERT_EQ(users.columns.size(), 5u);
  const struct {
    const char* name;
    const char* type;
    bool primaryKey;
    bool notNull;
  } columns[] = {
      {"id", "INTEGER", true, true},
      {"name", "VARCHAR", false, true},
      {"odd \"col\"", "DECIMAL(12,2)", false, false},
      {"tags", "VARCHAR[]", false, false},
      {"pair", "STRUCT(k INTEGER, v VARCHAR)", false, false},
  };
  for (size_t i = 0; i < std::size(columns); ++i) {
    EXPECT_EQ(users.columns[i].ordinal, static_cast<int32_t>(i));
    EXPECT_EQ(users.columns[i].name, columns[i].name);
    EXPECT_EQ(users.columns[i].type, columns[i].type);
    EXPECT_EQ(users.columns[i].primaryKey, columns[i].primaryKey) << columns[i].name;
    EXPECT_EQ(users.columns[i].notNull, columns[i].notNull) << columns[i].name;
  }
  EXPECT_EQ(users.columns[1].defaultValue, "'?'");

  // Without counting, no table is read.
  const SchemaResult uncounted = InspectSchemaOf(kDuckDbEngine, db, false);
  ASSERT_TRUE(uncounted.success);
  EXPECT_EQ(uncounted.tables.at(3).rowCount, 0);
}

TEST_F(DuckDbEngineTest, ExportFindsTablesAndViewsThroughTheCatalog) {
  const std::string db = MakeDatabase(
      "names.duckdb",
      "CREATE TABLE \"a,b \"\"c\"\"\" (\"x,y\" VARCHAR, n INTEGER);"
      "INSERT INTO \"a,b \"\"c\"\"\" VALUES ('1', NULL), ('', 2), (NULL, 3), ('l\nf', 4);"
      "CREATE TABLE Orders (id INTEGER); INSERT INTO Orders VALUES (7);"
      "CREATE SCHEMA s; CREATE TABLE s.t (v DATE); INSERT INTO s.t VALUES ('2024-01-31');"
      "CREATE TABLE \"s.t\" (w VARCHAR); INSERT INTO \"s.t\" VALUES ('main''s');"
      "CREATE TABLE \"q.r\" (k INTEGER); INSERT INTO \"q.r\" VALUES (5);"
      "CREATE VIEW big AS SELECT id * 2 AS twice FROM Orders;");
  const struct {
    const char* table;
    bool found;
    const char* text;
  } cases[] = {
      {"a,b \"c\"", true, "\"x,y\",n\n1,\n\"\",2\n,3\n\"l\nf\",4\n"},
      {"orders", true, "id\n7\n"},
      {"ORDERS", true, "id\n7\n"},
      {"s.t", true, "v\n2024-01-31\n"},
      {"S.T", true, "v\n2024-01-31\n"},
      {"q.r", true, "k\n5\n"},
      {"Q.R", true, "k\n5\n"},
      {"big", true, "twice\n14\n"},
      {"t", false, ""},
      {"Orders; DROP TABLE Orders", false, ""},
      {"\"Orders\"", false, ""},
      {"main.Orders", false, ""},
      {"duckdb_tables", false, ""},
      {"nothing", false, ""},
  };
  for (const auto& c : cases) {
    const CsvExport csv = Export(db, c.table);
    EXPECT_EQ(csv.success, c.found) << c.table;
    EXPECT_EQ(csv.text, c.text) << c.table;
    if (!c.found) {
      EXPECT_EQ(csv.errorMessage, std::string("no such table: ") + c.table);
    }
  }
  // Main's table "s.t" and schema s's table t show alike, and are listed in order of schema.
  const SchemaResult schema = InspectSchemaOf(kDuckDbEngine, db, false);
  ASSERT_TRUE(schema.success) << schema.errorMessage;
  std::vector<std::string> firstColumns;
  for (const TableMeta& table : schema.tables) {
    if (table.name == "s.t") firstColumns.push_back(table.columns.at(0).name);
  }
  EXPECT_EQ(firstColumns, (std::vector<std::string>{"w", "v"}));
}

TEST_F(DuckDbEngineTest, AnalyzeReportsBlocksAndReadsEveryTable) {
  const std::string db = MakeDatabase(
      "a.duckdb", "CREATE TABLE t AS SELECT i, 'row ' || i AS s FROM range(100000) r(i)");
  const DbDiagnostics diagnostics = AnalyzeDatabaseOf(kDuckDbEngine, db);
  ASSERT_TRUE(diagnostics.success) << diagnostics.errorMessage;
  EXPECT_TRUE(diagnostics.integrityOk);
  EXPECT_TRUE(diagnostics.integrityChecked);
  EXPECT_EQ(diagnostics.journalMode, "wal");
  EXPECT_EQ(diagnostics.pageSize, 262144);
  EXPECT_GT(diagnostics.pageCount, 0);
  EXPECT_LE(diagnostics.pageCount * diagnostics.pageSize, static_cast<int64_t>(fs::file_size(db)));
  EXPECT_GE(diagnostics.freelistCount, 0);
  EXPECT_LE(diagnostics.freelistCount, diagnostics.pageCount);
}

TEST_F(DuckDbEngineTest, DamagedDatabaseFailsWithoutCrashing) {
  const std::string db = MakeDatabase(
      "damaged.duckdb",
      "CREATE TABLE t AS SELECT i, 'row ' || i AS s, i * 0.5 AS d FROM range(300000) r(i)");
  const auto size = static_cast<std::streamoff>(fs::file_size(db));
  {
    // Scribble over the middle of the file, past its headers.
    std::fstream file(db, std::ios::in | std::ios::out | std::ios::binary);
    for (std::streamoff offset = size / 3; offset < size * 2 / 3; offset += 65536) {
      file.seekp(offset);
      file << std::string(512, '\x7f');
    }
  }
  // Only blocks of rows were hit: the catalog still reads, the rows do not.
  const SchemaResult schema = InspectSchemaOf(kDuckDbEngine, db, true);
  ASSERT_TRUE(schema.success) << schema.errorMessage;
  EXPECT_EQ(schema.tables.at(0).rowCount, 300000);
  const DbDiagnostics diagnostics = AnalyzeDatabaseOf(kDuckDbEngine, db);
  ASSERT_TRUE(diagnostics.success) << diagnostics.errorMessage;
  EXPECT_FALSE(diagnostics.integrityOk);
  EXPECT_TRUE(diagnostics.integrityChecked) << diagnostics.integrityUnchecked;
  const QueryRun sum = Query(db, "SELECT sum(i), max(s), sum(d) FROM t");
  EXPECT_FALSE(sum.success);
  EXPECT_NE(sum.errorMessage.find("Corrupt database file"), std::string::npos) << sum.errorMessage;
  EXPECT_FALSE(Export(db, "t").success);
}

TEST_F(DuckDbEngineTest, ReadOnlyOperationsLeaveTheDirectoryAsItWas) {
  const std::string clean = MakeDatabase("clean.duckdb", kSchemaSql);
  // A database whose last changes are still only in its write-ahead log.
  const std::string logged =
      MakeDatabase("logged.duckdb",
                   "PRAGMA disable_checkpoint_on_shutdown; CREATE TABLE t (a INTEGER); "
                   "INSERT INTO t VALUES (1), (2)");
  const auto before = Snapshot();
  ASSERT_EQ(before.count("logged.duckdb.wal"), 1u);
  for (const std::string& db : {clean, logged}) {
    EXPECT_TRUE(InspectSchemaOf(kDuckDbEngine, db, true).success);
    EXPECT_TRUE(AnalyzeDatabaseOf(kDuckDbEngine, db).integrityOk);
  }
  EXPECT_EQ(Export(clean, "users").text,
            "id,name,\"odd \"\"col\"\"\",tags,pair\n1,a,,,\n2,b,,,\n3,c,,,\n");
  EXPECT_EQ(Export(logged, "t").text, "a\n1\n2\n");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(DuckDbEngineTest, SampleHoldsTheSqliteSamplesRowsUnderTheSameSchema) {
  const std::string taken = PathOf("taken.duckdb");
  std::ofstream(taken) << "precious";
  const SampleResult refused = DuckDbEngine::CreateSampleBenchmarkDb(taken);
  EXPECT_FALSE(refused.success);
  EXPECT_EQ(refused.errorMessage, "file already exists: " + taken);
  EXPECT_FALSE(DuckDbEngine::CreateSampleBenchmarkDb(PathOf("no/such/dir.duckdb")).success);
  EXPECT_EQ(ReadBytes(taken), "precious");

  const std::string duck = PathOf("sample.duckdb");
  const std::string lite = PathOf("sample.db");
  const SampleResult sample = DuckDbEngine::CreateSampleBenchmarkDb(duck);
  ASSERT_TRUE(sample.success) << sample.errorMessage;
  EXPECT_EQ(sample.status, "OK");
  EXPECT_TRUE(sample.createdFile);
  ASSERT_TRUE(SqliteEngine::CreateSampleBenchmarkDb(lite).success);
  EXPECT_EQ(Snapshot().size(), 3u);  // no log or temporary file left behind

  const SchemaResult duckSchema = InspectSchemaOf(kDuckDbEngine, duck, true);
  const SchemaResult liteSchema = InspectSchemaOf(kSqliteEngine, lite, true);
  ASSERT_TRUE(duckSchema.success) << duckSchema.errorMessage;
  ASSERT_TRUE(liteSchema.success) << liteSchema.errorMessage;
  ASSERT_EQ(duckSchema.tables.size(), liteSchema.tables.size());
  for (size_t i = 0; i < duckSchema.tables.size(); ++i) {
    EXPECT_EQ(duckSchema.tables[i].name, liteSchema.tables[i].name);
    EXPECT_EQ(duckSchema.tables[i].rowCount, liteSchema.tables[i].rowCount);
  }
  for (const auto& [first, second] :
       {std::pair{&duckSchema, &liteSchema}, std::pair{&liteSchema, &duckSchema}}) {
    const TypeComparison types = first == &duckSchema
                                     ? TypeComparison{DuckDbTypeFamily, SqliteTypeFamily}
                                     : TypeComparison{SqliteTypeFamily, DuckDbTypeFamily};
    const SchemaDiff diff = CompareSchemas(*first, *second, types);
    EXPECT_TRUE(diff.tablesOnlyInFirst.empty() && diff.tablesOnlyInSecond.empty() &&
                diff.changedTables.empty());
  }
  // The same rows: every order line, summed over a few of its columns, in both.
  const char* checksum =
      "SELECT sum(order_id * 7 + line_no * 3 + product_id + quantity * unit_price_cents) "
      "FROM order_lines";
  CollectedRows fromLite;
  ASSERT_TRUE(SqliteEngine::RunQuery(lite, checksum, fromLite).success);
  const QueryRun fromDuck = Query(duck, checksum);
  ASSERT_TRUE(fromDuck.success) << fromDuck.errorMessage;
  EXPECT_EQ(fromDuck.rows, fromLite.rows);
  for (const TableMeta& table : liteSchema.tables) {
    std::ostringstream liteCsv;
    CsvWriter writer(liteCsv);
    ASSERT_TRUE(ExportTableOf(kSqliteEngine, lite, table.name, writer).success);
    writer.Finish();
    EXPECT_TRUE(Export(duck, table.name).text == FromNativeLines(liteCsv.str())) << table.name;
  }
}

}  // namespace
}  // namespace Corvenmark
