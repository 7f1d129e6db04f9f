#include "database_format.h"

#include <fstream>

#include "ascii.h"
#include "file_system.h"
#include "held_file.h"

namespace Corvenmark {
namespace {

const std::string_view kSqliteHeader("SQLite format 3\0", 16);
const std::string_view kDuckDbMagic = "DUCK";
const size_t kDuckDbMagicOffset = 8;  // after the checksum of the first header block

}  // namespace

DatabaseFormat FormatOfHeader(std::string_view firstBytes) {
  if (firstBytes.substr(0, kSqliteHeader.size()) == kSqliteHeader) return DatabaseFormat::kSqlite;
  if (firstBytes.size() >= kDuckDbMagicOffset + kDuckDbMagic.size() &&
      firstBytes.substr(kDuckDbMagicOffset, kDuckDbMagic.size()) == kDuckDbMagic) {
    return DatabaseFormat::kDuckDb;
  }
  return DatabaseFormat::kUnknown;
}

bool ReadDatabaseFormat(const std::string& path, DatabaseFormat& format) {
  if (IsSomethingElseThanAFile(path)) return false;
  std::ifstream file(path, std::ios::binary);
  char bytes[16];
  file.read(bytes, sizeof bytes);
  // A short file sets the failure flag too; only an open or a read that failed outright, as on
  // a directory, leaves nothing read without reaching the end.
  if (!file.is_open() || (file.gcount() == 0 && !file.eof())) return false;
  format = FormatOfHeader(std::string_view(bytes, static_cast<size_t>(file.gcount())));
  return true;
}

DatabaseFormat FormatForNewFile(const std::string& path) {
  return EndsWithIgnoringAsciiCase(path, ".duckdb") || EndsWithIgnoringAsciiCase(path, ".ddb")
             ? DatabaseFormat::kDuckDb
             : DatabaseFormat::kSqlite;
}

}  // namespace Corvenmark
