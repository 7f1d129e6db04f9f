#ifndef CORVENMARK_SAMPLE_DATABASE_H_
#define CORVENMARK_SAMPLE_DATABASE_H_

#include <string>

namespace Corvenmark {

/// Creates a new SQLite database at `path` holding a shop's customers, products, orders and
/// order lines, over a million rows in all. The data comes from a fixed seed, so two databases
/// made this way hold the same rows. Fails without touching anything when `path` exists; a
/// database left half made by a failure is removed.
bool CreateSampleDatabase(const std::string& path, std::string& errorMessage);

}  // namespace Corvenmark

#endif  // CORVENMARK_SAMPLE_DATABASE_H_
