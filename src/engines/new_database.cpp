#include "engines/new_database.h"

#include "engines/sql_text.h"
#include "platform/file_system.h"
#include "platform/interrupt.h"

namespace Corvenmark {
namespace {

// The files SQLite and DuckDB keep beside a database, named by their suffix.
const char* const kJournalSuffixes[] = {"-journal", "-wal",           "-shm",
                                        ".wal",     ".wal.checkpoint", ".wal.recovery"};

// False, with `error` naming it, when a journal or log of `path`'s name lies beside it: it
// belongs to another database, and the next open of the new one would take it for its own (roll
// it into it, or show its tables).
bool NoJournalBeside(const std::string& path, std::string& error) {
  for (const char* suffix : kJournalSuffixes) {
    if (PathExists(path + suffix)) {
      error = "a journal or log of another database lies where the new one's would: " + path +
              suffix;
      return false;
    }
  }
  return true;
}

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
  if (!NoJournalBeside(path, error)) return false;
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
  // Asked again as the file takes its name: one may have come while the database was built.
  if (!NoJournalBeside(path, error)) {
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
