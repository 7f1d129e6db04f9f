#ifndef CORVENMARK_NEW_DATABASE_H_
#define CORVENMARK_NEW_DATABASE_H_

#include <functional>
#include <string>
#include <vector>

#include "engines/records.h"

namespace Corvenmark {

/// How an engine makes a new database of its own format.
struct NewDatabase {
  /// Fills a new database at `buildPath`; messages name `shownPath`, the path the user gave.
  std::function<bool(const std::string& buildPath, const std::string& shownPath,
                     std::string& errorMessage)>
      fill;
  /// True when the engine creates the file itself and takes no empty file for a database.
  bool fromNoFile = false;
  /// Files the engine may leave beside the database it builds, named by their suffix.
  std::vector<const char*> sideFiles;
  /// Opens the complete database at `buildPath` and lists it, as a later command would; false,
  /// with `error` set, when it cannot. Null for no check.
  std::function<bool(const std::string& buildPath, std::string& error)> check;
};

/// Creates a new database at `path`: it is built under a hidden temporary name beside `path`
/// and takes the name only when it is complete, in one step that never replaces a file. So a
/// path that exists, or beside which a journal or log of its name lies, is refused and left
/// alone, and a run that fails or is interrupted (the interruption is then left to end the
/// process) leaves nothing under `path`.
SampleResult CreateNewDatabase(const std::string& path, const NewDatabase& how);

}  // namespace Corvenmark

#endif  // CORVENMARK_NEW_DATABASE_H_
