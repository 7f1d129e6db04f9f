#ifndef CORVENMARK_DUCKDB_CHUNK_WRITER_H_
#define CORVENMARK_DUCKDB_CHUNK_WRITER_H_

// Rows gathered into whole data chunks for an appender, instead of one call per value: for the
// columns of the types a copy writes itself, whose values arrive in the column's own kind.

#include <cstddef>
#include <string>
#include <vector>

#include "engines/duckdb/duckdb_database.h"
#include "engines/engine.h"

namespace Corvenmark {

/// A column's type, of those a chunk holds as the program writes them.
enum class ChunkType { kBigint, kDouble, kBoolean, kVarchar, kBlob };

/// The chunk type of a column declared `type`; false for a type DuckDB casts values to.
bool ChunkTypeOf(const std::string& type, ChunkType& chunkType);

class DuckDbChunkWriter {
 public:
  DuckDbChunkWriter(duckdb_appender appender, std::vector<ChunkType> columns);

  /// Puts the row into the chunk, and the chunk into the appender once it is full. False, with
  /// nothing of the row kept, when a value is not of its column's kind (text in a BIGINT
  /// column, text that is not UTF-8): the caller appends that row, and every later one, by
  /// value, after Flush.
  bool Add(const CellView* cells, size_t count);
  /// Appends what the chunk holds; false, with `error` set, when the appender refuses it.
  bool Flush(std::string& error);

 private:
  bool Put(size_t column, const CellView& cell);

  duckdb_appender appender_;
  std::vector<ChunkType> columns_;
  DuckDbChunk chunk_;
  std::vector<duckdb_vector> vectors_;
  size_t rows_ = 0;
  size_t capacity_ = 0;
  std::string error_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_CHUNK_WRITER_H_
