#include "database_format.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace Corvenmark {
namespace {

namespace fs = std::filesystem;

using namespace std::string_literals;

TEST(DatabaseFormat, FirstBytesNameTheFormat) {
  const std::string duckDbHeader = "\x12\x34\x56\x78\x9a\xbc\xde\xf0"s + "DUCK" + "\x40\0\0\0"s;
  const struct {
    std::string bytes;
    DatabaseFormat format;
  } cases[] = {
      {"SQLite format 3\0"s, DatabaseFormat::kSqlite},
      {"SQLite format 3\0"s + std::string(84, '\x01'), DatabaseFormat::kSqlite},
      {duckDbHeader, DatabaseFormat::kDuckDb},
      {duckDbHeader.substr(0, 12), DatabaseFormat::kDuckDb},
      {duckDbHeader.substr(0, 11), DatabaseFormat::kUnknown},  // the magic cut short
      {"SQLite format 3", DatabaseFormat::kUnknown},           // no terminating zero
      {"SQLite format 3.", DatabaseFormat::kUnknown},
      {"sqlite format 3\0"s, DatabaseFormat::kUnknown},
      {"DUCK" + std::string(12, '\0'), DatabaseFormat::kUnknown},  // the magic at offset 0
      {"12345678duck", DatabaseFormat::kUnknown},
      {"", DatabaseFormat::kUnknown},
      {std::string(4096, '\0'), DatabaseFormat::kUnknown},
      {"hello, world\n", DatabaseFormat::kUnknown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatOfHeader(c.bytes), c.format) << c.bytes;
  }
}

TEST(DatabaseFormat, FilesAreReadByTheirFirstBytesAndNewFilesNamedByTheirSuffix) {
  std::string pattern = (fs::temp_directory_path() / "corvenmark_format_XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  std::ofstream(dir / "lite.duckdb", std::ios::binary) << "SQLite format 3" << '\0' << "rest";
  std::ofstream(dir / "duck.db", std::ios::binary) << "01234567DUCK" << std::string(100, '\0');
  std::ofstream(dir / "empty.db", std::ios::binary);
  std::ofstream(dir / "short.db", std::ios::binary) << "SQL";
  const struct {
    const char* name;
    bool readable;
    DatabaseFormat format;
  } files[] = {
      {"lite.duckdb", true, DatabaseFormat::kSqlite},  {"duck.db", true, DatabaseFormat::kDuckDb},
      {"empty.db", true, DatabaseFormat::kUnknown},    {"short.db", true, DatabaseFormat::kUnknown},
      {"missing.db", false, DatabaseFormat::kUnknown}, {"", false, DatabaseFormat::kUnknown},
  };
  for (const auto& file : files) {
    DatabaseFormat format = DatabaseFormat::kUnknown;
    EXPECT_EQ(ReadDatabaseFormat((dir / file.name).string(), format), file.readable) << file.name;
    EXPECT_EQ(format, file.format) << file.name;
  }
  fs::remove_all(dir);

  const struct {
    const char* name;
    DatabaseFormat format;
  } names[] = {
      {"shop.duckdb", DatabaseFormat::kDuckDb},    {"dir.db/Shop.DuckDB", DatabaseFormat::kDuckDb},
      {"x.ddb", DatabaseFormat::kDuckDb},          {"shop.db", DatabaseFormat::kSqlite},
      {"shop.duckdb.db", DatabaseFormat::kSqlite}, {"duckdb", DatabaseFormat::kSqlite},
      {".ddb", DatabaseFormat::kDuckDb},           {"", DatabaseFormat::kSqlite},
  };
  for (const auto& name : names) {
    EXPECT_EQ(FormatForNewFile(name.name), name.format) << name.name;
  }
}

}  // namespace
}  // namespace Corvenmark
