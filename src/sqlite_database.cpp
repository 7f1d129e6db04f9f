#include "sqlite_database.h"

#include <cctype>
#include <charconv>
#include <fstream>

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

bool FileExists(const std::string& path) { return std::ifstream(path).is_open(); }

// Bytes 18 and 19 of the header are both 2 in a database in write-ahead-log mode.
bool IsWalDatabase(const std::string& path) {
  char header[20] = {};
  std::ifstream file(path, std::ios::binary);
  return file.read(header, sizeof header) && header[18] == 2 && header[19] == 2;
}

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

// A read-only connection to a database in write-ahead-log mode creates the log and its index
// when they are missing, and cannot remove them afterwards. When there is no log, every page is
// in the database file itself, so it is opened as an immutable file, which creates nothing.
int OpenDatabase(const std::string& path, int flags, sqlite3** db, bool& immutable) {
  // A connection is only ever used by the thread that opened it; without its mutex every
  // call into SQLite is cheaper, which shows over millions of cells.
  flags |= SQLITE_OPEN_NOMUTEX;
  immutable =
      (flags & SQLITE_OPEN_READONLY) != 0 && IsWalDatabase(path) && !FileExists(path + "-wal");
  if (immutable) {
    const std::string uri = "file:" + PercentEncoded(SqlitePath(path)) + "?immutable=1";
    return sqlite3_open_v2(uri.c_str(), db, flags | SQLITE_OPEN_URI, nullptr);
  }
  return sqlite3_open_v2(SqlitePath(path).c_str(), db, flags, nullptr);
}

}  // namespace

OpenedDatabase OpenExistingDatabase(const std::string& path, int flags) {
  OpenedDatabase opened;
  sqlite3* db = nullptr;
  const int status = OpenDatabase(path, flags, &db, opened.walOpenedImmutable);
  opened.db.reset(db);
  if (status == SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    // Reading the schema's size forces the header to be read and checked.
    if (sqlite3_exec(db, "SELECT count(*) FROM main.sqlite_master", nullptr, nullptr, nullptr) ==
        SQLITE_OK) {
      return opened;
    }
  }
  opened.errorMessage =
      std::string(db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(status)) + ": " + path;
  opened.db.reset();
  return opened;
}

StatementHandle Prepare(sqlite3* db, const char* sql, std::string& errorMessage) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    errorMessage = sqlite3_errmsg(db);
  }
  return StatementHandle(statement);
}

std::string_view CellText(sqlite3_stmt* statement, int column, std::string& scratch) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
      return {};
    case SQLITE_INTEGER: {
      // The same digits SQLite writes, without its conversion of the value in place.
      char digits[24];
      const auto end =
          std::to_chars(digits, digits + sizeof digits, sqlite3_column_int64(statement, column));
      scratch.assign(digits, end.ptr);
      return scratch;
    }
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
      const int size = sqlite3_column_bytes(statement, column);
      scratch = "X'";
      for (int i = 0; i < size; ++i) AppendHexByte(scratch, bytes[i]);
      scratch += '\'';
      return scratch;
    }
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      if (text == nullptr) return {};
      return {text, static_cast<size_t>(sqlite3_column_bytes(statement, column))};
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
