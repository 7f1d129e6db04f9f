#include "engines/duckdb/duckdb_text_cells.h"

#include <new>
#include <utility>

namespace Corvenmark {
namespace {

const char kFunctionName[] = "corvenmark_result_chunk";
// Run on the user's connection: qualified by the catalog of DuckDB's own functions, so that no
// macro of the user's database can answer it.
const char kSettingsSql[] =
    "SELECT CAST(system.main.current_setting('TimeZone') AS VARCHAR), "
    "CAST(system.main.current_setting('Calendar') AS VARCHAR)";

struct ScanState {
  bool done = false;
};

void DeleteScanState(void* state) noexcept { delete static_cast<ScanState*>(state); }

std::vector<std::string> ColumnNames(duckdb_result& result) {
  const DuckDbApi& api = *DuckDb();
  std::vector<std::string> names;
  for (idx_t column = 0; column < api.duckdb_column_count(&result); ++column) {
    const char* name = api.duckdb_column_name(&result, column);
    names.emplace_back(name != nullptr ? name : "");
  }
  return names;
}

bool Begin(RowSink& rows, const std::vector<std::string>& columns, bool last) {
  return last ? rows.BeginLastResult(columns) : rows.BeginResult(columns);
}

// The end of a result and a failure while reading it both end its chunks.
bool EndedWell(duckdb_result& result, std::string& error) {
  const char* failure = DuckDb()->duckdb_result_error(&result);
  if (failure != nullptr) error = DuckDbError(failure);
  return failure == nullptr;
}

// Sends rows [0, count) of `columns` to `rows`.
bool SendRows(std::vector<ColumnText>& columns, size_t count, RowSink& rows) {
  std::vector<CellView> cells(columns.size());
  for (size_t row = 0; row < count; ++row) {
    for (size_t column = 0; column < columns.size(); ++column) {
      cells[column] = columns[column].Cell(row);
    }
    if (!rows.AddRow(cells.data(), cells.size())) return false;
  }
  return true;
}

}  // namespace

bool StreamResultDirectly(duckdb_result& result, RowSink& rows, std::string& error,
                          const std::vector<CellKind>& kinds, bool last) {
  const DuckDbApi& api = *DuckDb();
  std::vector<ColumnFormat> formats;
  for (idx_t column = 0; column < api.duckdb_column_count(&result); ++column) {
    const DuckDbType type(api.duckdb_column_logical_type(&result, column));
    formats.push_back(FormatOf(type.get()));
    if (column < kinds.size()) formats.back().kind = kinds[column];
  }
  if (!Begin(rows, ColumnNames(result), last)) return false;
  while (const DuckDbChunk chunk{api.duckdb_fetch_chunk(result)}) {
    std::vector<ColumnText> columns;
    for (size_t column = 0; column < formats.size(); ++column) {
      columns.emplace_back(api.duckdb_data_chunk_get_vector(chunk.get(), column), formats[column]);
    }
    if (!SendRows(columns, api.duckdb_data_chunk_get_size(chunk.get()), rows)) return false;
  }
  return EndedWell(result, error);
}

void DuckDbTextCells::FollowSettingsOf(duckdb_connection source) {
  const auto readSettings = [&](const CellView* cells) {
    timeZone_ = cells[0].text;
    calendar_ = cells[1].text;
  };
  // A library built without ICU has neither setting, and nothing to follow.
  std::string unknownSettings;
  ForEachTextRow(source, kSettingsSql, readSettings, unknownSettings);
}

// The database that casts is made when a result first needs it; most results do not.
bool DuckDbTextCells::ReadyCaster(std::string& error) {
  const DuckDbApi& api = *DuckDb();
  if (!caster_.database) {
    caster_ = OpenPrivateDuckDb();
    if (!caster_.database) {
      error = caster_.errorMessage;
      return false;
    }
    duckdb_table_function function = api.duckdb_create_table_function();
    api.duckdb_table_function_set_name(function, kFunctionName);
    api.duckdb_table_function_set_extra_info(function, this, nullptr);
    api.duckdb_table_function_set_bind(function, Bind);
    api.duckdb_table_function_set_init(function, Init);
    api.duckdb_table_function_set_function(function, Scan);
    const duckdb_state registered =
        api.duckdb_register_table_function(caster_.connection.get(), function);
    api.duckdb_destroy_table_function(&function);
    if (registered != DuckDBSuccess) {
      caster_ = OpenedDuckDb();
      error = "unable to register the table function " + std::string(kFunctionName);
      return false;
    }
  }
  if (timeZone_.empty() || (timeZone_ == castTimeZone_ && calendar_ == castCalendar_)) {
    return true;
  }
  const std::string sql = "SET SESSION TimeZone = " + QuotedText(timeZone_) +
                          "; SET SESSION Calendar = " + QuotedText(calendar_);
  DuckDbResult result;
  if (api.duckdb_query(caster_.connection.get(), sql.c_str(), result.get()) != DuckDBSuccess) {
    error = result.Error();
    return false;
  }
  castTimeZone_ = timeZone_;
  castCalendar_ = calendar_;
  return true;
}

bool DuckDbTextCells::Stream(duckdb_result& result, RowSink& rows, std::string& error, bool last) {
  const DuckDbApi& api = *DuckDb();
  formats_.clear();
  castColumns_.clear();
  castTypes_.clear();
  for (idx_t column = 0; column < api.duckdb_column_count(&result); ++column) {
    DuckDbType type(api.duckdb_column_logical_type(&result, column));
    formats_.push_back(FormatOf(type.get()));
    if (!WritesOwnText(formats_.back().type)) {
      // Read from the cast, as VARCHAR, but still of its own kind.
      const bool json = rows.PrefersJson() && IsNested(formats_.back().type);
      const CellKind own = formats_.back().kind;
      const CellKind kind = json ? CellKind::kJson : own == CellKind::kBlob ? CellKind::kText : own;
      formats_.back() = ColumnFormat();
      formats_.back().kind = kind;
      castColumns_.push_back(column);
      castTypes_.push_back(std::move(type));
    }
  }
  if (castColumns_.empty()) return StreamResultDirectly(result, rows, error, {}, last);
  if (!ReadyCaster(error) || !Begin(rows, ColumnNames(result), last)) return false;

  duckdb_prepared_statement raw = nullptr;
  casting_ = true;
  // The cast's database is the program's own, and holds no object that could answer a name.
  std::string castSql = "SELECT ";
  for (size_t cast = 0; cast < castColumns_.size(); ++cast) {
    const std::string column = "c" + std::to_string(cast);
    if (cast > 0) castSql += ", ";
    castSql += formats_[castColumns_[cast]].kind == CellKind::kJson
                   ? "CAST(to_json(" + column + ") AS VARCHAR)"
                   : "CAST(" + column + " AS VARCHAR)";
  }
  castSql += " FROM system.main.corvenmark_result_chunk()";
  const duckdb_state prepared = api.duckdb_prepare(caster_.connection.get(), castSql.c_str(), &raw);
  casting_ = false;
  const DuckDbPrepared statement(raw);
  if (prepared != DuckDBSuccess) {
    error = DuckDbError(api.duckdb_prepare_error(raw));
    return false;
  }
  while (const DuckDbChunk chunk{api.duckdb_fetch_chunk(result)}) {
    if (!CastChunk(raw, chunk.get(), rows, error)) return false;
  }
  return EndedWell(result, error);
}

bool DuckDbTextCells::CastChunk(duckdb_prepared_statement cast, duckdb_data_chunk chunk,
                                RowSink& rows, std::string& error) {
  const DuckDbApi& api = *DuckDb();
  chunk_ = chunk;
  DuckDbResult text;
  const bool castDone = api.duckdb_execute_prepared(cast, text.get()) == DuckDBSuccess;
  chunk_ = nullptr;
  if (!castDone) {
    error = text.Error();
    return false;
  }
  // The cast rows come in order, in one chunk or more; `done` rows of `chunk` are sent.
  size_t done = 0;
  while (const DuckDbChunk castChunk{api.duckdb_fetch_chunk(*text.get())}) {
    std::vector<ColumnText> columns;
    for (size_t column = 0, next = 0; column < formats_.size(); ++column) {
      const bool isCast = next < castColumns_.size() && castColumns_[next] == column;
      columns.emplace_back(isCast ? api.duckdb_data_chunk_get_vector(castChunk.get(), next++)
                                  : api.duckdb_data_chunk_get_vector(chunk, column),
                           formats_[column], isCast ? 0 : done);
    }
    const size_t count = api.duckdb_data_chunk_get_size(castChunk.get());
    if (!SendRows(columns, count, rows)) return false;
    done += count;
  }
  return true;
}

// The callbacks run inside DuckDB's frames, which no exception of the program's may cross (on
// Windows they are another compiler's); every failure is reported through DuckDB's error calls.

void DuckDbTextCells::Bind(duckdb_bind_info info) noexcept {
  const DuckDbApi& api = *DuckDb();
  try {
    auto* self = static_cast<DuckDbTextCells*>(api.duckdb_bind_get_extra_info(info));
    if (!self->casting_) {
      api.duckdb_bind_set_error(info, "corvenmark_result_chunk() is the program's own");
      return;
    }
    // Names of their own: a result may repeat a name, which a table may not.
    for (size_t column = 0; column < self->castTypes_.size(); ++column) {
      const std::string name = "c" + std::to_string(column);
      api.duckdb_bind_add_result_column(info, name.c_str(), self->castTypes_[column].get());
    }
  } catch (...) {
    api.duckdb_bind_set_error(info, kOutOfMemory);
  }
}

void DuckDbTextCells::Init(duckdb_init_info info) noexcept {
  const DuckDbApi& api = *DuckDb();
  ScanState* state = new (std::nothrow) ScanState;
  if (state == nullptr) {
    api.duckdb_init_set_error(info, kOutOfMemory);
    return;
  }
  api.duckdb_init_set_init_data(info, state, DeleteScanState);
}

// Yields the columns of the chunk being cast, once: their vectors are shared, not copied.
void DuckDbTextCells::Scan(duckdb_function_info info, duckdb_data_chunk output) noexcept {
  const DuckDbApi& api = *DuckDb();
  auto* self = static_cast<DuckDbTextCells*>(api.duckdb_function_get_extra_info(info));
  auto* state = static_cast<ScanState*>(api.duckdb_function_get_init_data(info));
  if (state->done || self->chunk_ == nullptr) {
    api.duckdb_data_chunk_set_size(output, 0);
    return;
  }
  state->done = true;
  for (size_t cast = 0; cast < self->castColumns_.size(); ++cast) {
    api.duckdb_vector_reference_vector(
        api.duckdb_data_chunk_get_vector(output, cast),
        api.duckdb_data_chunk_get_vector(self->chunk_, self->castColumns_[cast]));
  }
  api.duckdb_data_chunk_set_size(output, api.duckdb_data_chunk_get_size(self->chunk_));
}

}  // namespace Corvenmark
