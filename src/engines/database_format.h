#ifndef CORVENMARK_DATABASE_FORMAT_H_
#define CORVENMARK_DATABASE_FORMAT_H_

#include <string>
#include <string_view>

namespace Corvenmark {

enum class DatabaseFormat { kUnknown, kSqlite, kDuckDb };

/// The format that a file's first bytes announce: SQLite's header string "SQLite format 3"
/// and its terminating zero byte at the start, or DuckDB's magic "DUCK" at offset 8. Anything
/// else, an empty or shorter file included, is unknown.
DatabaseFormat FormatOfHeader(std::string_view firstBytes);

/// The format of the file at `path`, from its first bytes. Returns false when the file cannot
/// be read at all: missing, a directory, or not readable.
bool ReadDatabaseFormat(const std::string& path, DatabaseFormat& format);

/// The format a database still to be created gets from its name: DuckDB for a name ending in
/// ".duckdb" or ".ddb" (in any ASCII case), SQLite for any other.
DatabaseFormat FormatForNewFile(const std::string& path);

}  // namespace Corvenmark

#endif  // CORVENMARK_DATABASE_FORMAT_H_
