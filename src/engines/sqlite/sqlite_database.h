#ifndef CORVENMARK_SQLITE_DATABASE_H_
#define CORVENMARK_SQLITE_DATABASE_H_

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engines/engine.h"
#include "engines/sql_text.h"
#include "platform/file_locks.h"
#include "platform/file_system.h"

namespace Corvenmark {

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using DatabaseHandle = std::unique_ptr<sqlite3, DatabaseCloser>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

/// An open connection, or why the database could not be opened.
struct OpenedDatabase {
  /// SQLite's SHARED lock on the database file, held for a connection that takes no locks of
  /// its own, so that no writer checkpoints into the file while it is read. Declared before
  /// `db` so that it outlives the connection.
  std::unique_ptr<FileLocks> sharedLock;
  DatabaseHandle db;
  std::string errorMessage;  ///< "<reason>: <path>" when `db` is null.
  int errorCode = 0;         ///< SQLite's extended result code when `db` is null.
  /// True when a database in write-ahead-log mode with no log was opened as an immutable file;
  /// SQLite then reports its journal mode as "delete".
  bool walOpenedImmutable = false;
  /// For a connection that reads without locks (a log with no index, or no log at all): the
  /// database file, and what a process that wrote it would change, as it was before the
  /// connection read anything: the file's own state and, when the log was read, the log's
  /// header. Empty for a connection that takes locks.
  std::string guardedFile;
  std::string stateBefore;
  std::string logBefore;
};

/// Opens an existing database; never creates one. `flags` is SQLITE_OPEN_READONLY or
/// SQLITE_OPEN_READWRITE. The path is always a file name, whatever it looks like. A read-only
/// connection writes nothing, creates no file and sees every committed transaction, the ones
/// still in the write-ahead log included, and reads in one read transaction, from one
/// committed state, until it is closed. The file's header is read at once, so a file that is
/// not a database fails here rather than in the first statement.
OpenedDatabase OpenExistingDatabase(const std::string& path, int flags);

/// False, with `errorMessage` set, when the database was read without locks and another process
/// wrote it meanwhile, so that what was read may mix two states of it. Read-only operations ask
/// this when they are done. Only a change of what SQLite records as written counts (the
/// database's size, times of change and header; the header of a log that was read, which a
/// restart of the log changes), not a commit added to a log, nor a log or index that another
/// reader merely created.
bool ReadWasUndisturbed(const OpenedDatabase& opened, const std::string& path,
                        std::string& errorMessage);

/// Prepares one statement. Returns null and sets `errorMessage` on failure.
StatementHandle Prepare(sqlite3* db, const char* sql, std::string& errorMessage);

/// One result cell: SQLite's own text of the value, a BLOB in SQLite's literal form X'0A1B'
/// (upper-case hexadecimal), or null; with `nativeValues`, a BLOB's bytes and a double's
/// shortest text, or with `doubleBits` its bits. The text lives in `scratch` or in the
/// statement, and is valid until either changes.
CellView ReadCell(sqlite3_stmt* statement, int column, std::string& scratch,
                  bool nativeValues = false, bool doubleBits = false);

}  // namespace Corvenmark

#endif  // CORVENMARK_SQLITE_DATABASE_H_
