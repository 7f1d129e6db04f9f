#include "sqlite_database.h"

#include <cctype>
#include <charconv>
#include <fstream>

#include "file_system.h"
#include "held_file.h"
#include "sqlite_path.h"

namespace Corvenmark {
namespace {

// How long a command waits for another process's lock before it gives up.
const int kBusyTimeoutMs = 5000;

void AppendHexByte(std::string& out, unsigned char byte) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0xF];
}

// Bytes 18 and 19 of the header are both 2 in a database in write-ahead-log mode.
bool IsWalDatabase(const std::string& path) {
  char header[20] = {};
  std::ifstream file(path, std::ios::binary);
  return file.read(header, sizeof header) && header[18] == 2 && header[19] == 2;
}

// Every path reaches SQLite as a URI built from the percent-encoded name, so that no name is
// read as anything but a file: not "file:..." as a URI of its own, not ":memory:" or "" as a
// database in memory, and not "?", "#" or "%" as the start of URI parameters.
std::string PercentEncoded(const std::string& text) {
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '.' || c == '_' || c == '-' || c == '~') {
      encoded += c;
    } else {
      encoded += '%';
      AppendHexByte(encoded, byte);
    }
  }
  return encoded;
}

// How a read-only command reads a database in write-ahead-log mode without writing:
// - no log: every page is in the database file itself, so it is opened as an immutable file,
//   which creates nothing (a plain read-only open would create the log and its index and could
//   not remove them);
// - a log but no index (left by a crash): the index is kept in memory, which SQLite allows only
//   to a connection in exclusive locking mode; a read-only file cannot hold the exclusive lock,
//   so the file system layer that takes no locks is used;
// - both: the index is opened read-only. With no writer at work SQLite then reads it into
//   memory; with one, it shares the index as every reader does.
// The two ways without an index shared with writers take no locks, so a writer could change
// the database while it is read; the files such a writer would touch are watched instead.
struct OpenPlan {
  std::string uri;
  bool immutable = false;
  bool indexInMemory = false;
  std::vector<std::string> unguardedFiles;
};

OpenPlan PlanOpen(const std::string& path, int flags) {
  OpenPlan plan;
  const std::string file = ResolvedFilePath(path);
  plan.uri = "file:" + PercentEncoded(SqlitePath(file));
  if ((flags & SQLITE_OPEN_READONLY) == 0 || !IsWalDatabase(file)) return plan;
  if (!PathExists(file + "-wal")) {
    plan.immutable = true;
    plan.uri += "?immutable=1";
    plan.unguardedFiles = {file, file + "-wal", file + "-shm"};
  } else if (!PathExists(file + "-shm")) {
    plan.indexInMemory = true;
    plan.uri += std::string("?vfs=") + NoLockingVfsName();
    plan.unguardedFiles = {file, file + "-wal", file + "-shm"};
  } else {
    plan.uri += "?readonly_shm=1";
  }
  return plan;
}

}  // namespace

OpenedDatabase OpenExistingDatabase(const std::string& path, int flags) {
  OpenedDatabase opened;
  if (path.empty()) {
    opened.errorMessage = "empty database path";
    return opened;
  }
  if (IsSomethingElseThanAFile(path)) {
    opened.errorMessage = path + ": not a regular file";
    return opened;
  }
  const OpenPlan plan = PlanOpen(path, flags);
  opened.walOpenedImmutable = plan.immutable;
  for (const std::string& file : plan.unguardedFiles) {
    opened.unguardedFiles.emplace_back(file, StampOf(file));
  }
  // A connection is only ever used by the thread that opened it; without its mutex every
  // call into SQLite is cheaper, which shows over millions of cells.
  sqlite3* db = nullptr;
  const int status =
      sqlite3_open_v2(plan.uri.c_str(), &db, flags | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  opened.db.reset(db);
  if (status == SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    // Reading the schema's size forces the header (and any log) to be read and checked.
    const char* check = plan.indexInMemory
                            ? "PRAGMA main.locking_mode = EXCLUSIVE;"
                              "SELECT count(*) FROM main.sqlite_master"
                            : "SELECT count(*) FROM main.sqlite_master";
    if (sqlite3_exec(db, check, nullptr, nullptr, nullptr) == SQLITE_OK) return opened;
  }
  std::string reason = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(status);
  if (db != nullptr && sqlite3_extended_errcode(db) == SQLITE_READONLY_ROLLBACK) {
    reason = "the database holds a transaction a crash left unfinished, which only a writer can "
             "roll back (a --query on it does)";
  }
  opened.errorMessage = reason + ": " + path;
  opened.db.reset();
  return opened;
}

bool ReadWasUndisturbed(const OpenedDatabase& opened, const std::string& path,
                        std::string& errorMessage) {
  for (const auto& [file, stamp] : opened.unguardedFiles) {
    if (!(StampOf(file) == stamp)) {
      errorMessage = "another process wrote the database while it was read; run the command "
                     "again: " + path;
      return false;
    }
  }
  return true;
}

StatementHandle Prepare(sqlite3* db, const char* sql, std::string& errorMessage) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    errorMessage = sqlite3_errmsg(db);
  }
  return StatementHandle(statement);
}

CellView ReadCell(sqlite3_stmt* statement, int column, std::string& scratch) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
      return {{}, true};
    case SQLITE_INTEGER: {
      // The same digits SQLite writes, without its conversion of the value in place.
      char digits[24];
      const auto end =
          std::to_chars(digits, digits + sizeof digits, sqlite3_column_int64(statement, column));
      scratch.assign(digits, end.ptr);
      return {scratch};
    }
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
      const int size = sqlite3_column_bytes(statement, column);
      scratch = "X'";
      for (int i = 0; i < size; ++i) AppendHexByte(scratch, bytes[i]);
      scratch += '\'';
      return {scratch};
    }
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      if (text == nullptr) return {};
      return {{text, static_cast<size_t>(sqlite3_column_bytes(statement, column))}};
    }
  }
}

std::string QuoteIdentifier(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace Corvenmark
