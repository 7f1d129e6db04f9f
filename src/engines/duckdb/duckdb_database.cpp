#include "duckdb_database.h"

#include <cstring>

#include "database_format.h"
#include "duckdb_column_text.h"
#include "duckdb_path.h"

namespace Corvenmark {
namespace {

const char* AccessMode(DuckDbOpenMode mode) {
  return mode == DuckDbOpenMode::kReadOnly ? "READ_ONLY" : "READ_WRITE";
}

// Why the existing database at `path` must not be opened; empty when it may. DuckDB opens the
// log beside the database as well.
std::string CheckExistingFile(const std::string& path) {
  for (const std::string& file : {path, path + ".wal"}) {
    if (IsOtherThanRegularFile(file)) return file + ": not a regular file";
  }
  DatabaseFormat format = DatabaseFormat::kUnknown;
  if (!ReadDatabaseFormat(path, format)) return "unable to open database file: " + path;
  if (format != DatabaseFormat::kDuckDb) return "file is not a DuckDB database: " + path;
  return "";
}

struct Setting {
  const char* name;
  const char* value;
};

// Given at open, for every command.
const Setting kOpenSettings[] = {
    // The program's own scans gain little from more threads, and every thread DuckDB starts is
    // one more place for memory to run out where no error can be returned.
    {"threads", "1"},
    // DuckDB keeps the blocks it reads until it reaches its limit, by default most of the
    // machine's memory; bounded, a scan's memory does not grow with the table.
    {"memory_limit", kDuckDbMemoryLimit},
    // The program keeps no state between runs and fetches nothing: what the library has built
    // in is all there is.
    {"autoinstall_known_extensions", "false"},
    {"autoload_known_extensions", "false"},
    {"allow_community_extensions", "false"},
    {"allow_persistent_secrets", "false"},
    // The settings that change only how values read stay open to the SQL of --query, and to
    // the connection that casts its results, once the rest is locked.
    {"allowed_configs", "[TimeZone, Calendar]"},
};

bool MakeConfig(DuckDbOpenMode mode, DuckDbConfig& config, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  duckdb_config raw = nullptr;
  if (api.duckdb_create_config(&raw) != DuckDBSuccess) {
    error = kOutOfMemory;
    return false;
  }
  config.reset(raw);
  if (api.duckdb_set_config(raw, "access_mode", AccessMode(mode)) != DuckDBSuccess) {
    error = "DuckDB did not take the setting access_mode";
    return false;
  }
  for (const Setting& setting : kOpenSettings) {
    if (api.duckdb_set_config(raw, setting.name, setting.value) != DuckDBSuccess) {
      error = std::string("DuckDB did not take the setting ") + setting.name;
      return false;
    }
  }
  return true;
}

// Settings that DuckDB takes only once the database is open, then the lock that keeps SQL from
// changing any setting but those allowed. `duckdbPath` is the database file as DuckDB opened it.
std::string SessionSql(const std::string& duckdbPath, DuckDbOpenMode mode) {
  // Extensions are never installed, but were DuckDB to try, no directory can be made under a
  // regular file, the database.
  std::string sql = "SET extension_directory = " + QuotedDuckDbText(duckdbPath + "/extensions") +
                    // A progress bar, which a PRAGMA turns on around the lock, shows only after
                    // this long (the longest wait DuckDB takes: 24 days), and on standard output.
                    "; SET progress_bar_time = 2147483647";
  // Only --query may spill what does not fit in memory, beside its database (<file>.tmp, which
  // DuckDB removes when it closes the database); nothing else creates a file.
  if (mode != DuckDbOpenMode::kReadWrite) sql += "; SET temp_directory = ''";
  // From here on no file that the command line did not name is read or written: no ATTACH,
  // COPY, read_csv or extension.
  return sql + "; SET enable_external_access = false; SET lock_configuration = true";
}

}  // namespace

std::string DuckDbResult::Error() { return DuckDbError(DuckDb()->duckdb_result_error(&result_)); }

OpenedDuckDb OpenDuckDb(const std::string& path, DuckDbOpenMode mode) {
  const DuckDbApi& api = *DuckDb();
  OpenedDuckDb opened;
  if (path.empty()) {
    opened.errorMessage = "empty database path";
    return opened;
  }
  if (mode != DuckDbOpenMode::kCreate) {
    opened.errorMessage = CheckExistingFile(path);
    if (!opened.errorMessage.empty()) return opened;
  }
  DuckDbConfig config;
  if (!MakeConfig(mode, config, opened.errorMessage)) return opened;
  const std::string duckdbPath = DuckDbPath(path);
  duckdb_database database = nullptr;
  char* error = nullptr;
  const duckdb_state state =
      api.duckdb_open_ext(duckdbPath.c_str(), &database, config.get(), &error);
  if (state != DuckDBSuccess) {
    opened.errorMessage =
        error != nullptr ? DuckDbError(error) : "unable to open database file: " + path;
    api.duckdb_free(error);
    return opened;
  }
  opened.database.reset(database);
  duckdb_connection connection = nullptr;
  if (api.duckdb_connect(database, &connection) != DuckDBSuccess) {
    opened.errorMessage = "unable to connect to the database: " + path;
    opened.database.reset();
    return opened;
  }
  opened.connection.reset(connection);
  DuckDbResult settled;
  if (api.duckdb_query(connection, SessionSql(duckdbPath, mode).c_str(), settled.get()) !=
      DuckDBSuccess) {
    opened.errorMessage = settled.Error();
    opened.connection.reset();
    opened.database.reset();
  }
  return opened;
}

std::string DuckDbError(const char* message) {
  if (message == nullptr) return "unknown DuckDB error";
  // How DuckDB says it ran out, alone or inside the message of what failed ("Failed to append:
  // Failed to commit: Allocation failure"), followed by lines of advice on settings that the
  // program keeps locked.
  static const char* const kOutOfMemoryMarks[] = {"Out of Memory Error", "Allocation failure",
                                                  "(bad allocation)"};
  for (const char* mark : kOutOfMemoryMarks) {
    if (std::strstr(message, mark) != nullptr) return kOutOfMemory;
  }
  return message;
}

std::string QuotedDuckDbName(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string QuotedDuckDbText(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted + '\'';
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

}  // namespace Corvenmark
