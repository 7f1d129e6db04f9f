#include "duckdb_text_cells.h"

#include <utility>

namespace Corvenmark {
namespace {

const char kFunctionName[] = "corvenmark_result_chunk";
// Qualified by the catalog that functions registered through the C API live in, so that no
// macro of that name in the user's database can stand in for it.
const char kCastSql[] =
    "SELECT CAST(COLUMNS(*) AS VARCHAR) FROM system.main.corvenmark_result_chunk()";
const char kSettingsSql[] =
    "SELECT CAST(current_setting('TimeZone') AS VARCHAR), "
    "CAST(current_setting('Calendar') AS VARCHAR)";

struct ScanState {
  bool done = false;
};

void DeleteScanState(void* state) { delete static_cast<ScanState*>(state); }

std::vector<std::string> ColumnNames(duckdb_result& result) {
  const DuckDbApi& api = *DuckDb();
  std::vector<std::string> names;
  for (idx_t column = 0; column < api.duckdb_column_count(&result); ++column) {
    const char* name = api.duckdb_column_name(&result, column);
    names.emplace_back(name != nullptr ? name : "");
  }
  return names;
}

// The end of a result and a failure while reading it both end its chunks.
bool EndedWell(duckdb_result& result, std::string& error) {
  const char* failure = DuckDb()->duckdb_result_error(&result);
  if (failure != nullptr) error = failure;
  return failure == nullptr;
}

}  // namespace

bool StreamTextResult(duckdb_result& result, RowSink& rows, std::string& error) {
  if (!rows.BeginResult(ColumnNames(result))) return false;
  while (const DuckDbChunk chunk{DuckDb()->duckdb_fetch_chunk(result)}) {
    if (!SendTextRows(chunk.get(), rows)) return false;
  }
  return EndedWell(result, error);
}

DuckDbTextCells::DuckDbTextCells(DuckDbConnection connection)
    : connection_(std::move(connection)) {}

std::unique_ptr<DuckDbTextCells> DuckDbTextCells::Create(duckdb_database database,
                                                         std::string& error) {
  const DuckDbApi& api = *DuckDb();
  duckdb_connection connection = nullptr;
  if (api.duckdb_connect(database, &connection) != DuckDBSuccess) {
    error = "unable to connect to the database";
    return nullptr;
  }
  std::unique_ptr<DuckDbTextCells> cells(new DuckDbTextCells(DuckDbConnection(connection)));
  duckdb_table_function function = api.duckdb_create_table_function();
  api.duckdb_table_function_set_name(function, kFunctionName);
  api.duckdb_table_function_set_extra_info(function, cells.get(), nullptr);
  api.duckdb_table_function_set_bind(function, Bind);
  api.duckdb_table_function_set_init(function, Init);
  api.duckdb_table_function_set_function(function, Scan);
  const duckdb_state registered = api.duckdb_register_table_function(connection, function);
  api.duckdb_destroy_table_function(&function);
  if (registered != DuckDBSuccess) {
    error = "unable to register the table function " + std::string(kFunctionName);
    return nullptr;
  }
  return cells;
}

bool DuckDbTextCells::FollowSettingsOf(duckdb_connection source, std::string& error) {
  std::string timeZone;
  std::string calendar;
  const auto readSettings = [&](const CellView* cells) {
    timeZone = cells[0].text;
    calendar = cells[1].text;
  };
  // A library built without ICU has neither setting, and nothing to follow.
  std::string unknownSettings;
  if (!ForEachTextRow(source, kSettingsSql, {}, readSettings, unknownSettings)) return true;
  if (timeZone == timeZone_ && calendar == calendar_) return true;
  const std::string sql = "SET SESSION TimeZone = " + QuotedDuckDbText(timeZone) +
                          "; SET SESSION Calendar = " + QuotedDuckDbText(calendar);
  DuckDbResult result;
  if (DuckDb()->duckdb_query(connection_.get(), sql.c_str(), result.get()) != DuckDBSuccess) {
    error = result.Error();
    return false;
  }
  timeZone_ = timeZone;
  calendar_ = calendar;
  return true;
}

bool DuckDbTextCells::Stream(duckdb_result& result, RowSink& rows, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  types_.clear();
  bool allText = true;
  for (idx_t column = 0; column < api.duckdb_column_count(&result); ++column) {
    types_.emplace_back(api.duckdb_column_logical_type(&result, column));
    allText = allText && api.duckdb_get_type_id(types_.back().get()) == DUCKDB_TYPE_VARCHAR;
  }
  if (allText) return StreamTextResult(result, rows, error);
  if (!rows.BeginResult(ColumnNames(result))) return false;

  duckdb_prepared_statement raw = nullptr;
  const duckdb_state prepared = api.duckdb_prepare(connection_.get(), kCastSql, &raw);
  const DuckDbPrepared statement(raw);
  if (prepared != DuckDBSuccess) {
    const char* message = api.duckdb_prepare_error(raw);
    error = message != nullptr ? message : "unknown DuckDB error";
    return false;
  }
  while (const DuckDbChunk chunk{api.duckdb_fetch_chunk(result)}) {
    chunk_ = chunk.get();
    const bool sent = CastChunk(raw, rows, error);
    chunk_ = nullptr;
    if (!sent) return false;
  }
  return EndedWell(result, error);
}

bool DuckDbTextCells::CastChunk(duckdb_prepared_statement cast, RowSink& rows, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  DuckDbResult text;
  if (api.duckdb_execute_prepared(cast, text.get()) != DuckDBSuccess) {
    error = text.Error();
    return false;
  }
  while (const DuckDbChunk chunk{api.duckdb_fetch_chunk(*text.get())}) {
    if (!SendTextRows(chunk.get(), rows)) return false;
  }
  return true;
}

void DuckDbTextCells::Bind(duckdb_bind_info info) {
  const DuckDbApi& api = *DuckDb();
  auto* self = static_cast<DuckDbTextCells*>(api.duckdb_bind_get_extra_info(info));
  // Names of their own: a result may repeat a name, which a table may not.
  for (size_t column = 0; column < self->types_.size(); ++column) {
    const std::string name = "c" + std::to_string(column);
    api.duckdb_bind_add_result_column(info, name.c_str(), self->types_[column].get());
  }
}

void DuckDbTextCells::Init(duckdb_init_info info) {
  DuckDb()->duckdb_init_set_init_data(info, new ScanState, DeleteScanState);
}

// Yields the chunk being cast, once: its vectors are shared, not copied.
void DuckDbTextCells::Scan(duckdb_function_info info, duckdb_data_chunk output) {
  const DuckDbApi& api = *DuckDb();
  auto* self = static_cast<DuckDbTextCells*>(api.duckdb_function_get_extra_info(info));
  auto* state = static_cast<ScanState*>(api.duckdb_function_get_init_data(info));
  if (state->done || self->chunk_ == nullptr) {
    api.duckdb_data_chunk_set_size(output, 0);
    return;
  }
  state->done = true;
  const idx_t columns = api.duckdb_data_chunk_get_column_count(self->chunk_);
  for (idx_t column = 0; column < columns; ++column) {
    api.duckdb_vector_reference_vector(api.duckdb_data_chunk_get_vector(output, column),
                                       api.duckdb_data_chunk_get_vector(self->chunk_, column));
  }
  api.duckdb_data_chunk_set_size(output, api.duckdb_data_chunk_get_size(self->chunk_));
}

}  // namespace Corvenmark
