#include "command_line.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace Corvenmark {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunWith(std::vector<const char*> args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunCommand(static_cast<int>(args.size()), args.data(), out, err);
  return {status, out.str(), err.str()};
}

TEST(CommandLine, EnginePairSelectsTheEngineForTheCommandAfterIt) {
  // The built-in engine answers for a file that does not exist; SQLite does not.
  const Outcome plain = RunWith({"cm", "--query", "no such.db", "SELECT 1"});
  const Outcome sqlite = RunWith({"cm", "--engine", "sqlite", "--query", "no such.db", "SELECT 1"});
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
    const Outcome run = RunWith(c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(CommandLine, EnginePairCountsArgumentsFromTheCommand) {
  // "--query" still needs a path and SQL after it; the pair does not count towards them.
  const Outcome run = RunWith({"cm", "--engine", "builtin", "--query", "db"});
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
    const Outcome run = RunWith(args);
    EXPECT_EQ(run.status, 1) << args.size();
    EXPECT_NE(run.out.find("\n  cm [options]\n"), std::string::npos) << args.size();
    EXPECT_EQ(run.err, "") << args.size();
  }
}

TEST(CommandLine, AutoPicksTheEngineByTheFilesFirstBytes) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "corvenmark_auto_XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  const std::string lite = (dir / "lite.duckdb").string();  // the bytes count, not the name
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(lite.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t (a)", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  std::ofstream(dir / "notes.txt") << "SQLite format 3 is not quite it";
  std::ofstream(dir / "short.db") << "SQL";
  std::ofstream(dir / "empty.db");
  const struct {
    std::string path;
    const char* out;
    const char* err;
  } cases[] = {
      {lite, "(1 tables):\nTable: t (0 rows)\n  - a : \n", ""},
      {(dir / "notes.txt").string(), "", ": not a SQLite or DuckDB database\n"},
      {(dir / "short.db").string(), "", ": not a SQLite or DuckDB database\n"},
      {(dir / "empty.db").string(), "", ": not a SQLite or DuckDB database\n"},
      // Unreadable: the SQLite engine says why.
      {(dir / "missing.db").string(), "", "unable to open database file: "},
  };
  for (const auto& c : cases) {
    const Outcome run = RunWith({"cm", "--engine", "auto", "--schema", c.path.c_str()});
    EXPECT_EQ(run.status, *c.err == '\0' ? 0 : 1) << c.path;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << c.path << ": " << run.out;
    EXPECT_EQ(run.out.empty(), *c.out == '\0') << c.path;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.path << ": " << run.err;
  }
  std::filesystem::remove_all(dir);
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
    EXPECT_EQ(err.str(), c.line);
  }
}

TEST(FinishOutput, PassesStatusThroughWhenTheReportWasWritten) {
  std::ostringstream out;
  std::ostringstream err;
  out << "report\n";
  EXPECT_EQ(FinishOutput(out, err, 0), 0);
  EXPECT_EQ(FinishOutput(out, err, 1), 1);
  EXPECT_EQ(err.str(), "");
}

TEST(FinishOutput, FailedWriteIsAnErrorNotSuccess) {
  std::ostream out(nullptr);  // a stream with nowhere to write fails every write
  std::ostringstream err;
  out << "report\n";
  EXPECT_EQ(FinishOutput(out, err, 0), 1);
  EXPECT_EQ(err.str().rfind("Write Error: ", 0), 0u);
  EXPECT_EQ(err.str().find('\n'), err.str().size() - 1);
}

}  // namespace
}  // namespace Corvenmark
