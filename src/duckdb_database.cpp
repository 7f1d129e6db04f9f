#include "duckdb_database.h"

#include "database_format.h"
#include "duckdb_path.h"

namespace Corvenmark {
namespace {

const char* AccessMode(DuckDbOpenMode mode) {
  return mode == DuckDbOpenMode::kReadOnly ? "READ_ONLY" : "READ_WRITE";
}

// Why the existing database at `path` must not be opened; empty when it may.
std::string CheckExistingFile(const std::string& path) {
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

TextChunk::TextChunk(duckdb_data_chunk chunk) {
  const DuckDbApi& api = *DuckDb();
  rowCount_ = api.duckdb_data_chunk_get_size(chunk);
  const idx_t columns = api.duckdb_data_chunk_get_column_count(chunk);
  for (idx_t column = 0; column < columns; ++column) {
    duckdb_vector vector = api.duckdb_data_chunk_get_vector(chunk, column);
    data_.push_back(static_cast<duckdb_string_t*>(api.duckdb_vector_get_data(vector)));
    validity_.push_back(api.duckdb_vector_get_validity(vector));
  }
}

void TextChunk::ReadRow(size_t row, CellView* cells) const {
  const DuckDbApi& api = *DuckDb();
  for (size_t column = 0; column < data_.size(); ++column) {
    const uint64_t* validity = validity_[column];
    if (validity != nullptr && ((validity[row / 64] >> (row % 64)) & 1) == 0) {
      cells[column] = {{}, true};
      continue;
    }
    duckdb_string_t* text = &data_[column][row];
    cells[column] = {{api.duckdb_string_t_data(text), api.duckdb_string_t_length(*text)}};
  }
}

bool SendTextRows(duckdb_data_chunk chunk, RowSink& rows) {
  const TextChunk text(chunk);
  std::vector<CellView> cells(text.columnCount());
  for (size_t row = 0; row < text.rowCount(); ++row) {
    text.ReadRow(row, cells.data());
    if (!rows.AddRow(cells.data(), cells.size())) return false;
  }
  return true;
}

bool ForEachTextRow(duckdb_connection connection, const char* sql,
                    const std::vector<std::string>& parameters,
                    const std::function<void(const CellView* cells)>& row, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  duckdb_prepared_statement raw = nullptr;
  const duckdb_state prepared = api.duckdb_prepare(connection, sql, &raw);
  const DuckDbPrepared statement(raw);
  if (prepared != DuckDBSuccess) {
    const char* message = api.duckdb_prepare_error(raw);
    error = message != nullptr ? message : "unknown DuckDB error";
    return false;
  }
  for (size_t i = 0; i < parameters.size(); ++i) {
    api.duckdb_bind_varchar(raw, i + 1, parameters[i].c_str());
  }
  DuckDbResult result;
  if (api.duckdb_execute_prepared(raw, result.get()) != DuckDBSuccess) {
    error = result.Error();
    return false;
  }
  std::vector<CellView> cells;
  while (const DuckDbChunk chunk{api.duckdb_fetch_chunk(*result.get())}) {
    const TextChunk text(chunk.get());
    cells.resize(text.columnCount());
    for (size_t i = 0; i < text.rowCount(); ++i) {
      text.ReadRow(i, cells.data());
      row(cells.data());
    }
  }
  return true;
}

}  // namespace Corvenmark
