#ifndef CORVENMARK_SAMPLE_DATABASE_H_
#define CORVENMARK_SAMPLE_DATABASE_H_

#include <string>

namespace Corvenmark {

/// Creates a new SQLite database at `path` holding the sample rows, over a million in all,
/// with keys and indexes. The database is built under a temporary name beside `path` and
/// takes the name only when it is complete, so that an interrupted or failed run leaves
/// nothing under `path`, and a file that exists there is never touched.
bool CreateSampleDatabase(const std::string& path, std::string& errorMessage);

}  // namespace Corvenmark

#endif  // CORVENMARK_SAMPLE_DATABASE_H_
