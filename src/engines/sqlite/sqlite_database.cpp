#include "engines/sqlite/sqlite_database.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <thread>

#include "engines/sqlite/sqlite_path.h"
#include "platform/file_system.h"
#include "platform/held_file.h"

namespace Corvenmark {
namespace {

// How long a command waits for another process's lock before it gives up.
const int kBusyTimeoutMs = 5000;

void AppendHexByte(std::string& out, unsigned char byte) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0xF];
}

// The first `count` bytes of the file at `path`, fewer when it is shorter or missing.
std::string FirstBytes(const std::string& path, size_t count) {
  return HeldFile(path).FirstBytes(count);
}

// Bytes 18 and 19 of the header are both 2 in a database in write-ahead-log mode.
bool IsWalDatabase(const std::string& path) {
  const std::string header = FirstBytes(path, 20);
  return header.size() == 20 && header[18] == 2 && header[19] == 2;
}

// What a write of the database `file` changes, as one text to compare: the file's size, times
// of change (of its bytes, and of the file itself, which a program that rewrites it in place and
// sets its time back changes all the same) and 100-byte header (its change counter among them).
// A checkpoint writes here, and so must come before any restart of the log.
std::string FileState(const std::string& file) {
  const FileStamp stamp = StampOf(file);
  return std::to_string(stamp.size) + ' ' + std::to_string(stamp.modified) + ' ' +
         std::to_string(stamp.changed) + ' ' + FirstBytes(file, 100);
}

// The log's 32-byte header: its checkpoint sequence and salts, which a log restarted over the
// frames that were read changes. Empty for a log that is missing or empty, as a reader that
// only opens the database leaves it. Frames a commit adds after those read change nothing that
// was read, nor does the log's index (-shm), which is SQLite's own.
std::string LogHeader(const std::string& file) {
  const FileStamp log = StampOf(file + "-wal");
  return log.exists && log.size >= 32 ? FirstBytes(file + "-wal", 32) : "";
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
// the database while it is read; what such a writer would change is compared instead.
struct OpenPlan {
  std::string uri;
  std::string file;  ///< The database file, its links followed.
  bool immutable = false;
  bool indexInMemory = false;
  bool hasLog = false;
  bool hasIndex = false;
  std::unique_ptr<FileLocks> sharedLock;  ///< For the two ways without SQLite's own locks.
};

// SQLite's lock bytes, the same on every platform and in every release (PENDING_BYTE,
// SHARED_FIRST and SHARED_SIZE in its source): one gigabyte into the file, where no page of a
// database is ever read or written.
const uint64_t kPendingByte = 0x40000000;
const uint64_t kSharedFirst = kPendingByte + 2;
const uint64_t kSharedSize = 510;

// SQLite's SHARED lock on a database file, taken as its own file system layers take it: a
// shared lock on the pending byte for a moment (a writer waiting for its EXCLUSIVE lock holds
// that byte exclusively, so that no new reader starts), then a shared lock on the range of
// shared bytes, all of which an EXCLUSIVE lock takes. A writer's last connection checkpoints
// its log into the database file as it closes only once it has the EXCLUSIVE lock, and leaves
// the log for later while anyone holds this one, so what SQLite's locking orders never
// rewrites the file under a read that takes no locks of SQLite's own. Waits, as SQLite's busy
// timeout would, while a writer holds the EXCLUSIVE lock for its checkpoint. Null when the file
// cannot be opened or the wait runs out; the read then goes on without it, and a write it
// could not keep out is still found afterwards.
std::unique_ptr<FileLocks> TakeSharedLock(const std::string& file) {
  std::unique_ptr<FileLocks> locks = FileLocks::Open(file);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  while (locks) {
    if (locks->TryLockShared(kPendingByte, 1)) {
      const bool shared = locks->TryLockShared(kSharedFirst, kSharedSize);
      locks->Unlock(kPendingByte, 1);
      if (shared) return locks;
    }
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return nullptr;
}

OpenPlan PlanOpen(const std::string& path, int flags) {
  OpenPlan plan;
  const std::string& file = plan.file = ResolvedFilePath(path);
  plan.uri = "file:" + PercentEncoded(SqlitePath(file));
  const bool walRead = (flags & SQLITE_OPEN_READONLY) != 0 && IsWalDatabase(file);
  // Taken before the log is looked for: a log that is gone then was checkpointed whole into the
  // database file, and no closing writer can checkpoint another into it while it is read.
  if (walRead) plan.sharedLock = TakeSharedLock(file);
  plan.hasLog = PathExists(file + "-wal");
  plan.hasIndex = PathExists(file + "-shm");
  if (!walRead) return plan;
  if (!plan.hasLog) {
    plan.immutable = true;
    plan.uri += "?immutable=1";
  } else if (!plan.hasIndex) {
    plan.indexInMemory = true;
    plan.uri += std::string("?vfs=") + NoLockingVfsName();
  } else {
    plan.uri += "?readonly_shm=1";
    plan.sharedLock.reset();  // SQLite takes its own
  }
  return plan;
}

}  // namespace

namespace {

// How many times a plan is made again when a writer's log or its index came or went meanwhile.
const int kOpenAttempts = 5;

OpenedDatabase OpenByPlan(const std::string& path, OpenPlan& plan, int flags) {
  OpenedDatabase opened;
  opened.walOpenedImmutable = plan.immutable;
  opened.sharedLock = std::move(plan.sharedLock);
  if (plan.immutable || plan.indexInMemory) {
    opened.guardedFile = plan.file;
    opened.stateBefore = FileState(plan.file);
    // A read of the database file alone reads no log, whatever a writer adds to one.
    if (plan.indexInMemory) opened.logBefore = LogHeader(plan.file);
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
    // The last connection to close a database removes its log; a read-only one must not, for
    // the log may hold a writer's commits (one in exclusive locking mode shares no index).
    if ((flags & SQLITE_OPEN_READONLY) != 0) {
      int persist = 1;
      sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    // Reading the schema's size forces the header (and any log) to be read and checked. A
    // read-only connection reads in one transaction begun here and ended when it closes, so
    // that every count and every row of the command comes from one committed state.
    std::string check = plan.indexInMemory ? "PRAGMA main.locking_mode = EXCLUSIVE; " : "";
    if ((flags & SQLITE_OPEN_READONLY) != 0) check += "BEGIN; ";
    check += "SELECT count(*) FROM main.sqlite_master";
    if (sqlite3_exec(db, check.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return opened;
  }
  opened.errorCode = db != nullptr ? sqlite3_extended_errcode(db) : status;
  std::string reason = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(status);
  if (db != nullptr && sqlite3_extended_errcode(db) == SQLITE_READONLY_ROLLBACK) {
    reason = "the database holds a transaction a crash left unfinished, which only a writer can "
             "roll back (a --query on it does)";
  }
  opened.errorMessage = reason + ": " + path;
  opened.db.reset();
  return opened;
}

}  // namespace

OpenedDatabase OpenExistingDatabase(const std::string& path, int flags) {
  OpenedDatabase opened;
  if (path.empty()) {
    opened.errorMessage = kEmptyDatabasePath;
    return opened;
  }
  if (IsSomethingElseThanAFile(path)) {
    opened.errorMessage = path + ": not a regular file";
    return opened;
  }
  // A writer creates the log and its index when it opens the database and may remove them when
  // it closes it; a plan made for files that came or went meanwhile is made again, so that an
  // existing database is never "unable to open" for that.
  for (int attempt = 1;; ++attempt) {
    OpenPlan plan = PlanOpen(path, flags);
    opened = OpenByPlan(path, plan, flags);
    if (opened.db || attempt == kOpenAttempts) return opened;
    // Another process's log or index may also have gone and come back, or still be being set
    // up, when a read-only open of a database in write-ahead-log mode cannot open a file or
    // finds the index not ready; a damaged database fails otherwise, and at once.
    const bool logsMoved = PathExists(plan.file + "-wal") != plan.hasLog ||
                           PathExists(plan.file + "-shm") != plan.hasIndex;
    const int code = opened.errorCode & 0xff;
    const bool walRead = (flags & SQLITE_OPEN_READONLY) != 0 && IsWalDatabase(plan.file) &&
                         (code == SQLITE_CANTOPEN || code == SQLITE_READONLY);
    if (!logsMoved && !walRead) return opened;
    std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
  }
}

bool ReadWasUndisturbed(const OpenedDatabase& opened, const std::string& path,
                        std::string& errorMessage) {
  if (opened.guardedFile.empty() ||
      (FileState(opened.guardedFile) == opened.stateBefore &&
       (opened.logBefore.empty() || LogHeader(opened.guardedFile) == opened.logBefore))) {
    return true;
  }
  errorMessage =
      "another process wrote the database while it was read; run the command again: " + path;
  return false;
}

StatementHandle Prepare(sqlite3* db, const char* sql, std::string& errorMessage) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    errorMessage = sqlite3_errmsg(db);
  }
  return StatementHandle(statement);
}

CellView ReadCell(sqlite3_stmt* statement, int column, std::string& scratch, bool nativeValues,
                  bool doubleBits) {
  // Each value is taken once and read through sqlite3_value calls, which spare every further
  // read SQLite's checks of the statement and its column.
  sqlite3_value* value = sqlite3_column_value(statement, column);
  switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
      return {{}, true};
    case SQLITE_INTEGER: {
      // The same digits SQLite writes, without its conversion of the value in place.
      char digits[24];
      const auto end = std::to_chars(digits, digits + sizeof digits, sqlite3_value_int64(value));
      scratch.assign(digits, end.ptr);
      return {scratch, false, CellKind::kInteger};
    }
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(value));
      const int size = sqlite3_value_bytes(value);
      if (nativeValues) {
        scratch.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
        return {scratch, false, CellKind::kBlob};
      }
      scratch = "X'";
      for (int i = 0; i < size; ++i) AppendHexByte(scratch, bytes[i]);
      scratch += '\'';
      return {scratch};
    }
    case SQLITE_FLOAT:
      if (nativeValues) {
        // The shortest text that reads back to the double, a point or an exponent in it as
        // SQLite writes one ("2.0", "-0.0"): exact, and quicker to write than SQLite's text.
        const double real = sqlite3_value_double(value);
        if (doubleBits) {
          scratch.assign(reinterpret_cast<const char*>(&real), sizeof real);
          return {scratch, false, CellKind::kDouble};
        }
        char digits[32];
        scratch = ShortestRealText(real, digits);
        return {scratch, false, CellKind::kReal};
      }
      [[fallthrough]];
    default: {
      const bool real = sqlite3_value_type(value) == SQLITE_FLOAT;
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      if (text == nullptr) return {};
      return {{text, static_cast<size_t>(sqlite3_value_bytes(value))},
              false,
              real ? CellKind::kReal : CellKind::kText};
    }
  }
}

}  // namespace Corvenmark
