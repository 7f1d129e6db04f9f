#ifndef CORVENMARK_DUCKDB_COPY_H_
#define CORVENMARK_DUCKDB_COPY_H_

#include <string>

#include "engines/engine.h"

namespace Corvenmark {

/// Creates a new DuckDB database at `path` holding a copy of every table of `source`, its rows
/// appended as they are read, built and published as the sample is.
CopyResult CopyIntoDuckDb(const std::string& path, TableSource& source);

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_COPY_H_
