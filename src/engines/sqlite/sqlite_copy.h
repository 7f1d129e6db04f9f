#ifndef CORVENMARK_SQLITE_COPY_H_
#define CORVENMARK_SQLITE_COPY_H_

#include <string>

#include "engines/engine.h"

namespace Corvenmark {

/// Creates a new SQLite database at `path` holding a copy of every table of `source`: values of
/// the kind SQLite stores them as (integers, doubles, text, BLOBs), in one transaction with no
/// journal, built and published as the sample is.
CopyResult CopyIntoSqlite(const std::string& path, TableSource& source);

}  // namespace Corvenmark

#endif  // CORVENMARK_SQLITE_COPY_H_
