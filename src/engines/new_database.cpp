#include "engines/new_database.h"

#include "engines/sql_text.h"
#include "platform/file_system.h"
#include "platform/interrupt.h"

namespace Corvenmark {
namespace {

// The files SQLite and DuckDB keep beside a database, named by their suffix.
const char* const kJournalSuffixes[] = {"-journal", "-wal", "-shm", ".wal"};

bool BuildAndPublish(const std::string& path, const NewDatabase& how, std::string& error) {
  if (path.empty()) {
    error = kEmptyDatabasePath;
    return false;
  }
  // Checked first only to fail at once; publishing the file checks again, in one step.
  if (PathExists(path)) {
    error = "file already exists: " + path;
    return false;
  }
  // A journal or log under the new database's name belongs to another database, and the next
  // open of the new one would take it for its own: roll it into it, or show its tables.
  for (const char* suffix : kJournalSuffixes) {
    if (PathExists(path + suffix)) {
      error = "a journal or log of another database lies where the new one's would: " + path +
              suffix;
      return false;
    }
  }
  const InterruptWatch watch;
  std::string building;
  if (!CreateTemporarySibling(path, building, error)) return false;
  // An engine that takes no empty file for a database gets the name back to create the file
  // itself; the name's random part keeps anyone else from it meanwhile.
  if (how.fromNoFile) RemoveFile(building);
  const bool filled = how.fill(building, path, error);
  for (const char* suffix : how.sideFiles) RemoveFile(building + suffix);
  // What is published must open and list as the database it is, by the engine that made it.
  std::string unreadable;
  if (filled && how.check && !how.check(building, unreadable)) {
    error = "the new database could not be read back (" + unreadable + "): " + path;
    RemoveFile(building);
    return false;
  }
  if (!filled || InterruptWatch::Requested()) {
    if (filled) error = "interrupted: " + path;
    RemoveFile(building);
    return false;
  }
  return PublishNewFile(building, path, error);
}

}  // namespace

SampleResult CreateNewDatabase(const std::string& path, const NewDatabase& how) {
  SampleResult sample;
  sample.success = BuildAndPublish(path, how, sample.errorMessage);
  sample.createdFile = sample.success;
  if (sample.success) sample.status = "OK";
  return sample;
}

}  // namespace Corvenmark
