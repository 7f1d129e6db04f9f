// Feeds arbitrary bytes to the SQLite engine as a database file: listing the schema, running
// the diagnostics and exporting every table must neither crash nor trip a sanitizer, however
// damaged the file.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "csv.h"
#include "sqlite_engine.h"

namespace {

std::string ScratchPath() { return "/tmp/corvenmark_fuzz_" + std::to_string(getpid()) + ".db"; }

void RemoveDatabase(const std::string& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::remove((path + suffix).c_str());
}

void ExportTable(const std::string& path, const std::string& table) {
  std::ostringstream out;
  Corvenmark::CsvWriter csv(out);
  Corvenmark::SqliteEngine::ExportTable(path, table, csv);
  csv.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ScratchPath();
  RemoveDatabase(path);
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  using Corvenmark::SqliteEngine;
  const Corvenmark::SchemaResult schema = SqliteEngine::InspectSchema(path, true);
  SqliteEngine::AnalyzeDatabase(path);
  ExportTable(path, "t");
  for (const Corvenmark::TableMeta& table : schema.tables) ExportTable(path, table.name);
  RemoveDatabase(path);
  return 0;
}
