#ifndef CORVENMARK_DUCKDB_SAMPLE_H_
#define CORVENMARK_DUCKDB_SAMPLE_H_

#include <functional>
#include <string>

#include "engines/duckdb/duckdb_api.h"
#include "engines/records.h"

namespace Corvenmark {

/// Creates a new DuckDB database at `path` holding the sample rows, the same rows that the
/// SQLite sample holds, in tables with the same names, columns and keys, as CreateNewDatabase
/// makes new databases.
SampleResult CreateDuckDbSampleDatabase(const std::string& path);

/// Fills a new database through its connection; false with `error` set when it cannot.
using DuckDbLoad = std::function<bool(duckdb_connection connection, std::string& error)>;

/// Creates a new DuckDB database at `path` that `load` fills, as CreateNewDatabase makes new
/// databases; it is checkpointed before it is published, so that the file holds every row.
SampleResult CreateNewDuckDb(const std::string& path, const DuckDbLoad& load);

/// Fills the new database at `path` with `load` and checkpoints it; messages name `shownPath`,
/// the name the user gave.
bool FillNewDuckDb(const std::string& path, const std::string& shownPath, const DuckDbLoad& load,
                   std::string& errorMessage);

/// Why an appender failed: DuckDB's message, or kOutOfMemory.
std::string AppenderError(duckdb_appender appender);

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_SAMPLE_H_
