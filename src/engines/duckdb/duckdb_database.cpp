#include "duckdb_database.h"

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

DuckDbConfig MakeConfig(DuckDbOpenMode mode) {
  const DuckDbApi& api = *DuckDb();
  duckdb_config raw = nullptr;
  api.duckdb_create_config(&raw);
  DuckDbConfig config(raw);
  api.duckdb_set_config(raw, "access_mode", AccessMode(mode));
  // The program keeps no state between runs and fetches nothing: what the library has built in
  // is all there is.
  api.duckdb_set_config(raw, "autoinstall_known_extensions", "false");
  api.duckdb_set_config(raw, "autoload_known_extensions", "false");
  return config;
}

}  // namespace

std::string DuckDbResult::Error() {
  const char* error = DuckDb()->duckdb_result_error(&result_);
  return error != nullptr ? error : "unknown DuckDB error";
}

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
  const DuckDbConfig config = MakeConfig(mode);
  duckdb_database database = nullptr;
  char* error = nullptr;
  const duckdb_state state =
      api.duckdb_open_ext(DuckDbPath(path).c_str(), &database, config.get(), &error);
  if (state != DuckDBSuccess) {
    opened.errorMessage = error != nullptr ? error : "unable to open database file: " + path;
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
  return opened;
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
