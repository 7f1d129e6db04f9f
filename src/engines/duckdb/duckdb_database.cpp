#include "engines/duckdb/duckdb_database.h"

#include <charconv>

#include "engines/duckdb/duckdb_column_text.h"
#include "engines/duckdb/duckdb_path.h"
#include "platform/file_system.h"
#include "platform/held_file.h"

namespace Corvenmark {
namespace {

// The files DuckDB may write beside a database, named after it: its log, the log's companions
// while a checkpoint or a recovery runs, and the directory a query spills into.
const char* const kLogFiles[] = {".wal", ".wal.checkpoint", ".wal.recovery"};
const char kSpillDirectory[] = ".tmp";

// Why DuckDB must not write the file `side` beside a database; empty when it may. DuckDB
// writes through a link, and would wait forever on a pipe.
std::string CheckSideFile(const std::string& side, bool isDirectory) {
  const PathKind kind = KindOfPath(side);
  if (kind == PathKind::kLink) return side + ": a link, which DuckDB would write through";
  if (kind == PathKind::kMissing) return "";
  if (isDirectory) return kind == PathKind::kDirectory ? "" : side + ": not a directory";
  return kind == PathKind::kRegular ? "" : side + ": not a regular file";
}

// Why DuckDB must not open the existing database at `path`, which `file` holds; empty when it
// may. DuckDB names the files it writes beside the database after the file a link leads to,
// and they are checked beside both names.
std::string CheckExistingFile(const std::string& path, const HeldFile& file) {
  if (file.kind() == HeldFile::Kind::kOther) return path + ": not a regular file";
  if (file.kind() == HeldFile::Kind::kUnreadable) return kUnopenedDatabase + path;
  for (const std::string& name : {path, RealPathOf(path)}) {
    for (const char* suffix : kLogFiles) {
      const std::string refusal = CheckSideFile(name + suffix, false);
      if (!refusal.empty()) return refusal;
    }
    const std::string refusal = CheckSideFile(name + kSpillDirectory, true);
    if (!refusal.empty()) return refusal;
  }
  if (!HasDuckDbMagic(file.FirstBytes(12))) {
    return "file is not a DuckDB database: " + path;
  }
  return "";
}

OpenedDuckDb NotOpened(std::string why) {
  OpenedDuckDb opened;
  opened.errorMessage = std::move(why);
  return opened;
}

struct Setting {
  const char* name;
  const char* value;
};

// Given at open, whoever's SQL runs.
const Setting kOpenSettings[] = {
    // The program keeps no state between runs and fetches nothing: what the library has built
    // in is all there is.
    {"autoinstall_known_extensions", "false"},
    {"autoload_known_extensions", "false"},
    {"allow_community_extensions", "false"},
    {"allow_persistent_secrets", "false"},
};

// Given at open when only the program's SQL runs.
const Setting kSealedSettings[] = {
    // The program's own scans gain little from more threads, and every thread DuckDB starts is
    // one more place for memory to run out where no error can be returned.
    {"threads", "1"},
    // DuckDB keeps the blocks it reads until it reaches its limit, by default most of the
    // machine's memory; bounded, a scan's memory does not grow with the table.
    {"memory_limit", kDuckDbMemoryLimit},
    // The settings that change only how values read, which the cast follows from the user's
    // session, once the rest is locked.
    {"allowed_configs", "[TimeZone, Calendar]"},
};

// Given at open for the user's SQL: DuckDB's own threads and memory limit, and the settings a
// query may tune left open once the rest is locked.
const Setting kUserSettings[] = {
    {"allowed_configs",
     "[TimeZone, Calendar, threads, memory_limit, max_memory, preserve_insertion_order, "
     "default_order, default_null_order, enable_profiling, profiling_mode, profiling_output, "
     "explain_output]"},
};

template <size_t N>
bool SetAll(duckdb_config config, const Setting (&settings)[N], std::string& error) {
  for (const Setting& setting : settings) {
    if (DuckDb()->duckdb_set_config(config, setting.name, setting.value) != DuckDBSuccess) {
      error = std::string("DuckDB did not take the setting ") + setting.name;
      return false;
    }
  }
  return true;
}

bool MakeConfig(DuckDbOpenMode mode, DuckDbSql sql, DuckDbConfig& config, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  duckdb_config raw = nullptr;
  if (api.duckdb_create_config(&raw) != DuckDBSuccess) {
    error = kOutOfMemory;
    return false;
  }
  config.reset(raw);
  const char* access = mode == DuckDbOpenMode::kReadOnly ? "READ_ONLY" : "READ_WRITE";
  if (api.duckdb_set_config(raw, "access_mode", access) != DuckDBSuccess) {
    error = "DuckDB did not take the setting access_mode";
    return false;
  }
  return SetAll(raw, kOpenSettings, error) &&
         (sql == DuckDbSql::kUser ? SetAll(raw, kUserSettings, error)
                                  : SetAll(raw, kSealedSettings, error));
}

// Settings that DuckDB takes only once the database is open, then the lock that keeps SQL from
// changing any setting but those allowed. `duckdbPath` is the database file as DuckDB opened it,
// empty for a database in memory.
std::string SessionSql(const std::string& duckdbPath, DuckDbOpenMode mode, DuckDbSql sql) {
  // DuckDB spills only into a directory it makes itself, beside the database file that links
  // lead to: it would empty one that is there already (left by a query that was killed) of
  // whatever it takes for its own files.
  const std::string spillDirectory = RealPathOf(duckdbPath) + kSpillDirectory;
  const bool spills = sql == DuckDbSql::kUser && !duckdbPath.empty() &&
                      KindOfPath(spillDirectory) == PathKind::kMissing;
  std::string session =
      // A progress bar draws on standard output, which holds only the report; one that a PRAGMA
      // turns on around the lock shows only after this long (the longest wait DuckDB takes: 24
      // days).
      "SET enable_progress_bar = false; SET progress_bar_time = 2147483647";
  // Extensions and secrets are never installed or stored, but were DuckDB to try, no directory
  // can be made under a regular file, the database: nothing is written under the home
  // directory.
  if (!duckdbPath.empty()) {
    session += "; SET extension_directory = " + QuotedText(duckdbPath + "/extensions") +
               "; SET secret_directory = " + QuotedText(duckdbPath + "/secrets");
  }
  // Only the user's SQL may spill what does not fit in memory, beside its database (<file>.tmp,
  // which DuckDB removes when it closes the database); the program's own never creates a file.
  session += "; SET temp_directory = " + QuotedText(spills ? spillDirectory : "");
  // From here on no file that the command line did not name is read or written: not by ATTACH,
  // COPY or read_csv.
  if (sql == DuckDbSql::kProgram) session += "; SET enable_external_access = false";
  // A database that is only read, or lives in memory, writes no file at all, not even its log:
  // without the local file system a log that a view sends to a file is refused as the view
  // asks for it, where otherwise DuckDB would fail to write it later, where no error can be
  // returned.
  if (sql == DuckDbSql::kProgram && (mode == DuckDbOpenMode::kReadOnly || duckdbPath.empty())) {
    session += "; SET disabled_filesystems = 'LocalFileSystem'";
  }
  return session + "; SET lock_configuration = true";
}

// Opens the database DuckDB is given as `duckdbPath` ("" for one in memory) with `config`,
// then readies its session for `sql`.
OpenedDuckDb OpenConfigured(const std::string& duckdbPath, const std::string& shownPath,
                            duckdb_config config, DuckDbOpenMode mode, DuckDbSql sql) {
  const DuckDbApi& api = *DuckDb();
  OpenedDuckDb opened;
  duckdb_database database = nullptr;
  char* error = nullptr;
  const duckdb_state state = api.duckdb_open_ext(duckdbPath.empty() ? nullptr : duckdbPath.c_str(),
                                                 &database, config, &error);
  if (state != DuckDBSuccess) {
    opened.errorMessage =
        error != nullptr ? DuckDbError(error) : kUnopenedDatabase + shownPath;
    api.duckdb_free(error);
    return opened;
  }
  opened.database.reset(database);
  duckdb_connection connection = nullptr;
  if (api.duckdb_connect(database, &connection) != DuckDBSuccess) {
    opened.errorMessage = "unable to connect to the database: " + shownPath;
    opened.database.reset();
    return opened;
  }
  opened.connection.reset(connection);
  DuckDbResult settled;
  if (api.duckdb_query(connection, SessionSql(duckdbPath, mode, sql).c_str(), settled.get()) !=
      DuckDBSuccess) {
    opened.errorMessage = settled.Error();
    opened.connection.reset();
    opened.database.reset();
  }
  return opened;
}

// After DuckDB opened `path` for writing, `held` is no longer there: the file was moved or
// removed in between, and DuckDB may have made a new database in its place. One made just now
// goes again, the user's own never.
void RemoveDatabaseMadeInPlaceOf(const std::string& path, const HeldFile& madeAtOpen) {
  if (madeAtOpen.kind() == HeldFile::Kind::kRegular && madeAtOpen.IsAt(path) &&
      HasDuckDbMagic(madeAtOpen.FirstBytes(12)) && !PathExists(path + kLogFiles[0])) {
    RemoveFile(path);
  }
}

}  // namespace

bool HasDuckDbMagic(std::string_view firstBytes) {
  const std::string_view magic = "DUCK";
  return firstBytes.size() >= 8 + magic.size() && firstBytes.substr(8, magic.size()) == magic;
}

std::string DuckDbResult::Error() {
  const DuckDbApi& api = *DuckDb();
  if (api.duckdb_result_error_type(&result_) == DUCKDB_ERROR_OUT_OF_MEMORY) return kOutOfMemory;
  return DuckDbError(api.duckdb_result_error(&result_));
}

OpenedDuckDb OpenDuckDb(const std::string& path, DuckDbOpenMode mode, DuckDbSql sql) {
  if (path.empty()) return NotOpened(kEmptyDatabasePath);
  std::unique_ptr<HeldFile> held;
  if (mode != DuckDbOpenMode::kCreate) {
    held = std::make_unique<HeldFile>(path);
    const std::string refusal = CheckExistingFile(path, *held);
    if (!refusal.empty()) return NotOpened(refusal);
  }
  DuckDbConfig config;
  std::string error;
  if (!MakeConfig(mode, sql, config, error)) return NotOpened(error);
  OpenedDuckDb opened = OpenConfigured(DuckDbPath(path), path, config.get(), mode, sql);
  opened.held = std::move(held);
  if (opened.held && !opened.held->IsAt(path)) {
    const HeldFile madeAtOpen(path);
    const bool wasOpened = opened.database != nullptr;
    opened = OpenedDuckDb();
    if (wasOpened && mode == DuckDbOpenMode::kReadWrite) {
      RemoveDatabaseMadeInPlaceOf(path, madeAtOpen);
    }
    return NotOpened(kUnopenedDatabase + path);
  }
  return opened;
}

OpenedDuckDb OpenPrivateDuckDb() {
  DuckDbConfig config;
  std::string error;
  if (!MakeConfig(DuckDbOpenMode::kCreate, DuckDbSql::kProgram, config, error)) {
    return NotOpened(error);
  }
  return OpenConfigured("", ":memory:", config.get(), DuckDbOpenMode::kCreate, DuckDbSql::kProgram);
}

std::string DuckDbError(const char* message) {
  return message != nullptr ? message : "unknown DuckDB error";
}

bool ForEachTextRow(duckdb_connection connection, const char* sql,
                    const std::function<void(const CellView* cells)>& row, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  DuckDbResult result;
  if (api.duckdb_query(connection, sql, result.get()) != DuckDBSuccess) {
    error = result.Error();
    return false;
  }
  std::vector<CellView> cells;
  while (const DuckDbChunk chunk{api.duckdb_fetch_chunk(*result.get())}) {
    std::vector<ColumnText> columns;
    for (idx_t column = 0; column < api.duckdb_data_chunk_get_column_count(chunk.get()); ++column) {
      columns.emplace_back(api.duckdb_data_chunk_get_vector(chunk.get(), column), ColumnFormat());
    }
    cells.resize(columns.size());
    for (idx_t i = 0; i < api.duckdb_data_chunk_get_size(chunk.get()); ++i) {
      for (size_t column = 0; column < columns.size(); ++column) {
        cells[column] = columns[column].Cell(i);
      }
      row(cells.data());
    }
  }
  return true;
}

bool ReadInteger(const CellView& cell, int64_t& value) {
  const char* const end = cell.text.data() + cell.text.size();
  const auto read = std::from_chars(cell.text.data(), end, value);
  return !cell.isNull && !cell.text.empty() && read.ec == std::errc() && read.ptr == end;
}

}  // namespace Corvenmark
