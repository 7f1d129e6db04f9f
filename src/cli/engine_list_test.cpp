#include "cli/engine_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "scratch_directory_test.h"

namespace Corvenmark {
namespace {

using namespace std::string_literals;

// The name of the engine "auto" gives an existing file of these first bytes; "" for none.
std::string EngineOfBytes(const std::string& bytes) {
  for (const Engine* engine : ProgramEngines()) {
    if (engine->recognizes != nullptr && engine->recognizes(bytes)) return engine->name;
  }
  return "";
}

TEST(EngineList, FirstBytesNameTheEngine) {
  const std::string duckDbHeader = "\x12\x34\x56\x78\x9a\xbc\xde\xf0"s + "DUCK" + "\x40\0\0\0"s;
  const struct {
    std::string bytes;
    const char* engine;
  } cases[] = {
      {"SQLite format 3\0"s, "sqlite"},
      {"SQLite format 3\0"s + std::string(84, '\x01'), "sqlite"},
      {duckDbHeader, "duckdb"},
      {duckDbHeader.substr(0, 12), "duckdb"},
      {duckDbHeader.substr(0, 11), ""},  // the magic cut short
      {"SQLite format 3", ""},           // no terminating zero
      {"SQLite format 3.", ""},
      {"sqlite format 3\0"s, ""},
      {"DUCK" + std::string(12, '\0'), ""},  // the magic at offset 0
      {"12345678duck", ""},
      {"", ""},
      {std::string(kRecognizedPrefixSize, '\0'), ""},
      {"hello, world\n", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EngineOfBytes(c.bytes), c.engine) << c.bytes;
  }
}

class EngineListFiles : public ScratchDirectoryTest {};

TEST_F(EngineListFiles, FilesGoByTheirFirstBytesAndNewFilesByTheirNames) {
  std::ofstream(dir_ / "lite.duckdb", std::ios::binary) << "SQLite format 3" << '\0' << "rest";
  std::ofstream(dir_ / "duck.db", std::ios::binary) << "01234567DUCK" << std::string(100, '\0');
  std::ofstream(dir_ / "short.db", std::ios::binary) << "SQL";
  const struct {
    std::string path;
    const char* engine;  ///< "" when no engine takes the file
  } files[] = {
      {PathOf("lite.duckdb"), "sqlite"},
      {PathOf("duck.db"), "duckdb"},
      {PathOf("short.db"), ""},
      // What cannot be read goes to the first engine of files, whose error says why.
      {PathOf("missing.duckdb"), "sqlite"},
      {dir_.string(), "sqlite"},
      {"", "sqlite"},
  };
  for (const auto& file : files) {
    std::string error;
    const Engine* engine = EngineOfFile(ProgramEngines(), file.path, error);
    EXPECT_EQ(engine != nullptr ? engine->name : "", std::string(file.engine)) << file.path;
    EXPECT_EQ(error.empty(), engine != nullptr) << file.path << ": " << error;
  }

  const struct {
    const char* name;
    const char* engine;
  } names[] = {
      {"shop.duckdb", "duckdb"},    {"dir.db/Shop.DuckDB", "duckdb"},
      {"x.ddb", "duckdb"},          {"shop.db", "sqlite"},
      {"shop.duckdb.db", "sqlite"}, {"duckdb", "sqlite"},
      {".ddb", "duckdb"},           {"", "sqlite"},
  };
  for (const auto& name : names) {
    EXPECT_STREQ(EngineForNewFile(ProgramEngines(), name.name)->name, name.engine) << name.name;
  }
}

}  // namespace
}  // namespace Corvenmark
