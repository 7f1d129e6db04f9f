#ifndef CORVENMARK_DUCKDB_SAMPLE_H_
#define CORVENMARK_DUCKDB_SAMPLE_H_

#include <string>

namespace Corvenmark {

/// Creates a new DuckDB database at `path` holding the sample rows, the same rows that the
/// SQLite sample holds, in tables with the same names, columns and keys. Like the SQLite
/// sample it is built under a temporary name beside `path` and takes the name only when it is
/// complete, so that an interrupted or failed run leaves nothing under `path`, and a file that
/// exists there is never touched.
bool CreateDuckDbSampleDatabase(const std::string& path, std::string& errorMessage);

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_SAMPLE_H_
