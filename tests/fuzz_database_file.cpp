// Feeds arbitrary bytes to the SQLite engine as a database file: listing the schema, running
// the diagnostics and exporting every table must neither crash nor trip a sanitizer, however
// damaged the file.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engines/sqlite/sqlite_engine.h"

namespace {

// Takes every row and keeps none.
struct DiscardedRows : Corvenmark::RowSink {
  bool BeginResult(const std::vector<std::string>&) override { return true; }
  bool AddRow(const Corvenmark::CellView*, size_t) override { return true; }
};

std::string ScratchPath() { return "/tmp/corvenmark_fuzz_" + std::to_string(getpid()) + ".db"; }

void RemoveDatabase(const std::string& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::remove((path + suffix).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ScratchPath();
  RemoveDatabase(path);
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  using Corvenmark::kSqliteEngine;
  DiscardedRows rows;
  const Corvenmark::SchemaResult schema = InspectSchemaOf(kSqliteEngine, path, true);
  AnalyzeDatabaseOf(kSqliteEngine, path);
  ExportTableOf(kSqliteEngine, path, "t", rows);
  for (const Corvenmark::TableMeta& table : schema.tables) {
    ExportTableOf(kSqliteEngine, path, table.name, rows);
  }
  RemoveDatabase(path);
  return 0;
}
