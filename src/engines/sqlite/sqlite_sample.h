#ifndef CORVENMARK_SQLITE_SAMPLE_H_
#define CORVENMARK_SQLITE_SAMPLE_H_

#include <string>

#include "engines/records.h"

namespace Corvenmark {

/// Creates a new SQLite database at `path` holding the sample rows, over a million in all,
/// with keys and indexes, as CreateNewDatabase makes new databases.
SampleResult CreateSqliteSampleDatabase(const std::string& path);

}  // namespace Corvenmark

#endif  // CORVENMARK_SQLITE_SAMPLE_H_
