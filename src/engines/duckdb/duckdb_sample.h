#ifndef CORVENMARK_DUCKDB_SAMPLE_H_
#define CORVENMARK_DUCKDB_SAMPLE_H_

#include <string>

#include "engines/records.h"

namespace Corvenmark {

/// Creates a new DuckDB database at `path` holding the sample rows, the same rows that the
/// SQLite sample holds, in tables with the same names, columns and keys, as CreateNewDatabase
/// makes new databases.
SampleResult CreateDuckDbSampleDatabase(const std::string& path);

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_SAMPLE_H_
