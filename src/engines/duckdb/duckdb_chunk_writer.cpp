#include "engines/duckdb/duckdb_chunk_writer.h"

#include <charconv>
#include <cstdint>

#include "engines/duckdb/duckdb_sample.h"
#include "platform/utf8.h"

namespace Corvenmark {
namespace {

duckdb_type TypeOf(ChunkType type) {
  switch (type) {
    case ChunkType::kBigint:
      return DUCKDB_TYPE_BIGINT;
    case ChunkType::kDouble:
      return DUCKDB_TYPE_DOUBLE;
    case ChunkType::kBoolean:
      return DUCKDB_TYPE_BOOLEAN;
    case ChunkType::kVarchar:
      return DUCKDB_TYPE_VARCHAR;
    case ChunkType::kBlob:
      break;
  }
  return DUCKDB_TYPE_BLOB;
}

template <class Number>
bool ReadWhole(std::string_view text, Number& value) {
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  return read.ec == std::errc() && read.ptr == text.data() + text.size();
}

}  // namespace

bool ChunkTypeOf(const std::string& type, ChunkType& chunkType) {
  const struct {
    const char* name;
    ChunkType type;
  } kTypes[] = {{"BIGINT", ChunkType::kBigint},   {"DOUBLE", ChunkType::kDouble},
                {"BOOLEAN", ChunkType::kBoolean}, {"VARCHAR", ChunkType::kVarchar},
                {"BLOB", ChunkType::kBlob}};
  for (const auto& known : kTypes) {
    if (type != known.name) continue;
    chunkType = known.type;
    return true;
  }
  return false;
}

DuckDbChunkWriter::DuckDbChunkWriter(duckdb_appender appender, std::vector<ChunkType> columns)
    : appender_(appender), columns_(std::move(columns)) {
  const DuckDbApi& api = *DuckDb();
  std::vector<DuckDbType> owned;
  std::vector<duckdb_logical_type> types;
  for (const ChunkType column : columns_) {
    owned.emplace_back(api.duckdb_create_logical_type(TypeOf(column)));
    types.push_back(owned.back().get());
  }
  chunk_.reset(api.duckdb_create_data_chunk(types.data(), types.size()));
  for (size_t i = 0; i < columns_.size(); ++i) {
    vectors_.push_back(api.duckdb_data_chunk_get_vector(chunk_.get(), i));
    api.duckdb_vector_ensure_validity_writable(vectors_.back());
  }
  capacity_ = api.duckdb_vector_size();
}

bool DuckDbChunkWriter::Put(size_t column, const CellView& cell) {
  const DuckDbApi& api = *DuckDb();
  duckdb_vector vector = vectors_[column];
  if (cell.isNull) {
    api.duckdb_validity_set_row_invalid(api.duckdb_vector_get_validity(vector), rows_);
    return true;
  }
  void* data = api.duckdb_vector_get_data(vector);
  switch (columns_[column]) {
    case ChunkType::kBigint:
      return cell.kind == CellKind::kInteger &&
             ReadWhole(cell.text, static_cast<int64_t*>(data)[rows_]);
    case ChunkType::kDouble:
      return (cell.kind == CellKind::kReal || cell.kind == CellKind::kInteger) &&
             ReadWhole(cell.text, static_cast<double*>(data)[rows_]);
    case ChunkType::kBoolean:
      if (cell.kind == CellKind::kBoolean || cell.kind == CellKind::kInteger) {
        const bool yes = cell.text == "true" || cell.text == "1";
        static_cast<bool*>(data)[rows_] = yes;
        return yes || cell.text == "false" || cell.text == "0";
      }
      return false;
    case ChunkType::kVarchar:
      // DuckDB takes a vector's text as it is: what is not UTF-8 goes the way that checks it.
      if (cell.kind == CellKind::kBlob || !IsUtf8WithoutNul(cell.text)) return false;
      break;
    case ChunkType::kBlob:
      if (cell.kind != CellKind::kBlob) return false;
      break;
  }
  api.duckdb_vector_assign_string_element_len(vector, rows_, cell.text.data(), cell.text.size());
  return true;
}

bool DuckDbChunkWriter::Add(const CellView* cells, size_t count) {
  if (count != columns_.size()) return false;
  for (size_t i = 0; i < count; ++i) {
    if (Put(i, cells[i])) continue;
    // The row's other values are left where the next row's go: it is not counted. A NULL
    // already marked is marked valid by no one, so the row is redone by value.
    for (size_t j = 0; j < i; ++j) {
      uint64_t* validity = DuckDb()->duckdb_vector_get_validity(vectors_[j]);
      validity[rows_ / 64] |= uint64_t{1} << (rows_ % 64);
    }
    return false;
  }
  if (++rows_ < capacity_) return true;
  return Flush(error_);
}

bool DuckDbChunkWriter::Flush(std::string& error) {
  if (!error_.empty()) {
    error = error_;
    return false;
  }
  if (rows_ == 0) return true;
  const DuckDbApi& api = *DuckDb();
  api.duckdb_data_chunk_set_size(chunk_.get(), rows_);
  const bool appended = api.duckdb_append_data_chunk(appender_, chunk_.get()) == DuckDBSuccess;
  if (!appended) error = error_ = AppenderError(appender_);
  api.duckdb_data_chunk_reset(chunk_.get());
  for (const duckdb_vector vector : vectors_) api.duckdb_vector_ensure_validity_writable(vector);
  rows_ = 0;
  return appended;
}

}  // namespace Corvenmark
