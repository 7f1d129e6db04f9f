#ifndef CORVENMARK_DUCKDB_PATH_H_
#define CORVENMARK_DUCKDB_PATH_H_

#include <string>

namespace Corvenmark {

/// A path from the command line in the form DuckDB's open call takes: UTF-8 (converted from
/// Windows' code page there) and, when relative, led by the current directory, so that DuckDB
/// reads every name as a file: not ":memory:" as a database in memory, not "name:..." as a
/// prefix naming an extension, not "~" as the home directory. Each platform has its own
/// definition.
std::string DuckDbPath(const std::string& path);

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_PATH_H_
