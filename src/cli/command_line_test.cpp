#include "cli/command_line.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engines/builtin/builtin_engine.h"
#include "engines/duckdb/duckdb_engine.h"
#include "engines/sqlite/sqlite_engine.h"
#include "platform/native_lines_test.h"
#include "scratch_directory_test.h"

namespace Corvenmark {
namespace {

struct Ran {
  int status;
  std::string out;
  std::string err;
};

Ran RunWith(std::vector<const char*> args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunCommand(static_cast<int>(args.size()), args.data(), out, err);
  return {status, FromNativeLines(out.str()), FromNativeLines(err.str())};
}

TEST(CommandLine, EnginePairSelectsTheEngineForTheCommandAfterIt) {
  // The built-in engine answers for a file that does not exist; SQLite does not.
  const Ran plain = RunWith({"cm", "--query", "no such.db", "SELECT 1"});
  const Ran sqlite = RunWith({"cm", "--engine", "sqlite", "--query", "no such.db", "SELECT 1"});
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.out.rfind("Executed in 0.5 ms (1 rows):\n", 0), 0u);
  EXPECT_EQ(sqlite.status, 1);
  EXPECT_EQ(sqlite.out, "");
  EXPECT_EQ(sqlite.err, "Query Error: unable to open database file: no such.db\n");
}

TEST(CommandLine, EveryErrorIsOneLineWithControlCharactersEscaped) {
  const struct {
    std::vector<const char*> args;
    const char* err;
  } cases[] = {
      {{"cm", "--engine", "x\ny", "--help"},
       "Engine Error: unknown engine 'x\\ny' (expected builtin, sqlite, duckdb or auto)\n"},
      {{"cm", "--engine", "sqlite", "--schema", "a\r\n\tb\x01\x7f.db"},
       "Schema Error: unable to open database file: a\\r\\n\\tb\\x01\\x7f.db\n"},
      {{"cm", "--engine", "sqlite", "--analyze", ""}, "Analyze Error: empty database path\n"},
      {{"cm", "--engine", "sqlite", "--sample", ""}, "Sample Error: empty database path\n"},
  };
  for (const auto& c : cases) {
    const Ran run = RunWith(c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(CommandLine, EnginePairCountsArgumentsFromTheCommand) {
  // "--query" still needs a path and SQL after it; the pair does not count towards them.
  const Ran run = RunWith({"cm", "--engine", "builtin", "--query", "db"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.rfind("=====", 0), 0u);
  EXPECT_EQ(run.err, "");
}

TEST(CommandLine, MalformedEnginePairGetsUsage) {
  const std::vector<std::vector<const char*>> cases = {
      {"cm", "--engine"},
      {"cm", "--engine", "builtin"},
      {"cm", "--engine", "builtin", "--gui"},
      {"cm", "--engine", "builtin", "--engine", "builtin", "--help"},
  };
  for (const auto& args : cases) {
    const Ran run = RunWith(args);
    EXPECT_EQ(run.status, 1) << args.size();
    EXPECT_NE(run.out.find("\n  cm [options]\n"), std::string::npos) << args.size();
    EXPECT_EQ(run.err, "") << args.size();
  }
}

TEST(CommandLine, LeadingFlagsAreTakenOnceAndOnlyByTheCommandsTheyApplyTo) {
  const struct {
    std::vector<const char*> args;
    int status;
    const char* err;
  } cases[] = {
      // With --exit-code every failure is 2, the usage text included.
      {{"cm", "--exit-code", "--exit-code", "--diff", "a", "b"}, 2, ""},
      {{"cm", "--exit-code"}, 2, ""},
      {{"cm", "--summary", "--engine", "builtin"}, 1, ""},
      {{"cm", "--exit-code", "--engine", "nope", "--diff", "a", "b"}, 2,
       "Engine Error: unknown engine 'nope' (expected builtin, sqlite, duckdb or auto)\n"},
      {{"cm", "--exit-code", "--query", "a", "SELECT 1"}, 2,
       "Query Error: --exit-code does not apply to --query\n"},
      {{"cm", "--summary", "--diff", "a", "b"}, 1, "Diff Error: --summary does not apply to --diff\n"},
      {{"cm", "--summary", "--format", "sql", "--diff-data", "a", "b"}, 1,
       "Diff Error: --summary with --format sql does not apply to --diff-data\n"},
      {{"cm", "--format", "sql", "--query", "a", "SELECT 1"}, 1,
       "Query Error: --format sql does not apply to --query\n"},
      {{"cm", "--exit-code", "--diff-data", "a", "b"}, 2, "Diff Error: builtin cannot compare rows\n"},
      // The built-in engine's fixed schemas never differ.
      {{"cm", "--exit-code", "--diff", "a", "b"}, 0, ""},
  };
  for (const auto& c : cases) {
    const Ran run = RunWith(c.args);
    EXPECT_EQ(run.status, c.status) << c.args[1];
    EXPECT_EQ(run.err, c.err) << c.args[1];
  }
}

// An engine of the test's own, known to the front end only through the list it is given: it
// recognizes files that begin "FAKEDB", claims locations "fake://..." as a server's and new files
// named "*.fake", and only lists tables.
class FakeDatabase : public Database {
 public:
  SchemaResult ReadCatalog(bool) override {
    SchemaResult schema;
    schema.success = true;
    schema.tables.push_back({"fake_table", "", "", {}, 7, "fake_table", {}, {}});
    return schema;
  }
};

const Engine kFakeEngine = {
    "fake",
    "Fake",
    [](std::string_view firstBytes) { return firstBytes.substr(0, 6) == "FAKEDB"; },
    [](const std::string& location) { return location.rfind("fake://", 0) == 0; },
    [](const std::string& path) {
      return path.size() > 5 && path.substr(path.size() - 5) == ".fake";
    },
    nullptr,
    nullptr,
    nullptr,
    [](const std::string&, std::string&) -> std::unique_ptr<Database> {
      return std::make_unique<FakeDatabase>();
    },
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

class CommandLineFiles : public ScratchDirectoryTest {};

TEST_F(CommandLineFiles, AutoAsksEveryEngineAndAnEngineAnswersOnlyWhatItOffers) {
  const std::string lite = PathOf("lite.duckdb");  // the bytes count, not the name
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(lite.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t (a)", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  std::ofstream(dir_ / "notes.txt") << "SQLite format 3 is not quite it";
  std::ofstream(dir_ / "short.db") << "SQL";
  std::ofstream(dir_ / "empty.db");
  std::ofstream(dir_ / "data.db") << "FAKEDB and more";
  const std::string notes = PathOf("notes.txt");
  const std::string fake = PathOf("data.db");
  const std::string newFake = PathOf("new.fake");
  const std::string empty = PathOf("empty.db");
  const std::string missing = PathOf("missing.db");
  const EngineList withFake = {&kBuiltinEngine, &kSqliteEngine, &kDuckDbEngine, &kFakeEngine};
  const struct {
    std::vector<const char*> args;
    bool fakeListed;
    std::string out;
    std::string err;
  } cases[] = {
      {{"--engine", "auto", "--schema", lite.c_str()},
       false,
       "Database: " + lite + " (1 tables):\nTable: t (0 rows)\n  - a : \n",
       ""},
      {{"--engine", "auto", "--schema", notes.c_str()},
       false,
       "",
       "Schema Error: " + notes + ": not a SQLite or DuckDB database\n"},
      {{"--engine", "auto", "--schema", notes.c_str()},
       true,
       "",
       "Schema Error: " + notes + ": not a SQLite, DuckDB or Fake database\n"},
      {{"--engine", "auto", "--analyze", empty.c_str()},
       true,
       "",
       "Analyze Error: " + empty + ": not a SQLite, DuckDB or Fake database\n"},
      // Unreadable: the first engine of files says why.
      {{"--engine", "auto", "--schema", missing.c_str()},
       true,
       "",
       "Schema Error: unable to open database file: " + missing + "\n"},
      {{"--engine", "auto", "--schema", fake.c_str()},
       true,
       "Database: " + fake + " (1 tables):\nTable: fake_table (7 rows)\n",
       ""},
      {{"--engine", "fake", "--schema", notes.c_str()},
       true,
       "Database: " + notes + " (1 tables):\nTable: fake_table (7 rows)\n",
       ""},
      // A location claimed by its spelling is never looked at as a file.
      {{"--engine", "auto", "--schema", "fake://server/db"},
       true,
       "Database: fake://server/db (1 tables):\nTable: fake_table (7 rows)\n",
       ""},
      {{"--engine", "auto", "--sample", newFake.c_str()},
       true,
       "",
       "Sample Error: fake cannot create a sample database\n"},
      {{"--engine", "fake", "--query", fake.c_str(), "SELECT 1"},
       true,
       "",
       "Query Error: fake cannot run queries\n"},
      {{"--engine", "auto", "--export-csv", fake.c_str(), "t"},
       true,
       "",
       "Export Error: fake cannot export a table\n"},
      {{"--engine", "fake", "--diff", fake.c_str(), fake.c_str()},
       true,
       "Schema diff: " + fake + " -> " + fake + " (0 differences):\nNo differences.\n",
       ""},
      {{"--engine", "fakes", "--help"},
       true,
       "",
       "Engine Error: unknown engine 'fakes' (expected builtin, sqlite, duckdb, fake or auto)\n"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> args = {"cm"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::ostringstream out;
    std::ostringstream err;
    const int status =
        c.fakeListed ? RunCommand(static_cast<int>(args.size()), args.data(), out, err, withFake)
                     : RunCommand(static_cast<int>(args.size()), args.data(), out, err);
    EXPECT_EQ(status, c.err.empty() ? 0 : 1) << c.args[3];
    EXPECT_EQ(FromNativeLines(out.str()), c.out) << c.args[3];
    EXPECT_EQ(FromNativeLines(err.str()), c.err) << c.args[3];
  }
  EXPECT_FALSE(std::filesystem::exists(newFake));
}

TEST_F(CommandLineFiles, PathsLongerThanTheOldWindowsLimitOfTwoHundredSixtyWork) {
  std::filesystem::path deep = dir_;
  while (deep.string().size() <= 300) deep /= std::string(60, 'd');
  std::filesystem::create_directories(deep);
  for (const char* name : {"long.db", "long.duckdb"}) {
    const std::string path = (deep / name).string();
    std::vector<const char*> sample = {"cm", "--engine", "auto", "--sample", path.c_str()};
    const Ran created = RunWith(sample);
    EXPECT_EQ(created.status, 0) << created.err;
    const Ran schema = RunWith({"cm", "--engine", "auto", "--schema", path.c_str()});
    EXPECT_EQ(schema.err, "");
    EXPECT_NE(schema.out.find("Table: "), std::string::npos) << name;
    EXPECT_EQ(RunWith(sample).err, "Sample Error: file already exists: " + path + "\n") << name;
  }
}

TEST(RunCatchingEverything, AnyExceptionIsOneErrorLineAndStatusOne) {
  const struct {
    std::function<int()> command;
    std::string line;
    int status;
  } cases[] = {
      {[] { return 0; }, "", 0},
      {[]() -> int { throw std::bad_alloc(); }, "Schema Error: out of memory\n", 1},
      {[] { return static_cast<int>(std::stoll("x")); }, "Schema Error: stoll\n", 1},
      {[]() -> int { throw std::runtime_error("two\nlines"); }, "Schema Error: two\\nlines\n", 1},
      {[]() -> int { throw 42; }, "Schema Error: unexpected failure\n", 1},
  };
  for (const auto& c : cases) {
    std::ostringstream err;
    EXPECT_EQ(RunCatchingEverything(err, "Schema", c.command), c.status) << c.line;
    EXPECT_EQ(FromNativeLines(err.str()), c.line);
  }
}

TEST(FinishOutput, PassesStatusThroughWhenTheReportWasWritten) {
  std::ostringstream out;
  std::ostringstream err;
  out << "report\n";
  EXPECT_EQ(FinishOutput(out, err, 0), 0);
  EXPECT_EQ(FinishOutput(out, err, 1), 1);
  EXPECT_EQ(FromNativeLines(err.str()), "");
}

TEST(FinishOutput, FailedWriteIsAnErrorNotSuccess) {
  std::ostream out(nullptr);  // a stream with nowhere to write fails every write
  std::ostringstream err;
  out << "report\n";
  EXPECT_EQ(FinishOutput(out, err, 0), 1);
  EXPECT_EQ(FromNativeLines(err.str()).rfind("Write Error: ", 0), 0u);
  EXPECT_EQ(FromNativeLines(err.str()).find('\n'), FromNativeLines(err.str()).size() - 1);
}

}  // namespace
}  // namespace Corvenmark
