#include "engines.h"

#include <iterator>
#include <string_view>
#include <vector>

#include "corvenmark_engine.h"
#include "duckdb_engine.h"
#include "sqlite_engine.h"
#include "type_family.h"

namespace Corvenmark {
namespace {

// The built-in engine answers with whole records; these pass them on through the same seam as
// every other engine, so the front end prints them by the same rules.

bool SendRows(const std::vector<std::string>& columns,
              const std::vector<std::vector<std::string>>& rows, RowSink& sink) {
  if (!sink.BeginResult(columns)) return false;
  std::vector<CellView> cells;
  for (const std::vector<std::string>& row : rows) {
    cells.clear();
    for (const std::string& cell : row) cells.push_back({cell});
    if (!sink.AddRow(cells.data(), cells.size())) return false;
  }
  return true;
}

QueryOutcome BuiltinRunQuery(const std::string& dbPath, const std::string& sql, RowSink& rows) {
  const QueryResult result = VaneEngine::ExecuteQuery(dbPath, sql);
  QueryOutcome outcome;
  outcome.errorMessage = result.errorMessage;
  outcome.success = result.success && SendRows(result.columns, result.rows, rows);
  outcome.elapsedMs = result.elapsedMs;
  outcome.changedRows = result.changedRows;
  return outcome;
}

SchemaResult BuiltinInspectSchema(const std::string& dbPath, bool) {
  return VaneEngine::InspectSchema(dbPath);
}

// The built-in document is fixed text with no quoted or empty fields, so splitting its lines
// at commas gives back exactly the records the CSV writer turns into the same bytes.
Outcome BuiltinExportTable(const std::string& dbPath, const std::string& table, RowSink& rows) {
  const CsvExport csv = VaneEngine::ExportCsv(dbPath, table);
  Outcome outcome;
  outcome.errorMessage = csv.errorMessage;
  if (!csv.success) return outcome;
  std::vector<std::vector<std::string>> records;
  std::string_view text = csv.text;
  while (!text.empty()) {
    const std::string_view line = text.substr(0, text.find('\n'));
    text.remove_prefix(std::min(text.size(), line.size() + 1));
    std::vector<std::string>& record = records.emplace_back();
    for (size_t start = 0;;) {
      const size_t comma = line.find(',', start);
      record.emplace_back(line.substr(start, comma - start));
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }
  if (records.empty()) records.emplace_back();
  const std::vector<std::string> columns = records.front();
  records.erase(records.begin());
  outcome.success = SendRows(columns, records, rows);
  return outcome;
}

const char kAutomatic[] = "auto";

const Engine kEngines[] = {
    {"builtin", "builtin", nullptr, BuiltinRunQuery, BuiltinInspectSchema,
     VaneEngine::AnalyzeDatabase, BuiltinExportTable, VaneEngine::CreateSampleBenchmarkDb,
     nullptr},
    {"sqlite", "sqlite", nullptr, SqliteEngine::RunQuery, SqliteEngine::InspectSchema,
     SqliteEngine::AnalyzeDatabase, SqliteEngine::ExportTable,
     SqliteEngine::CreateSampleBenchmarkDb, SqliteTypeFamily},
    {"duckdb", "duckdb", DuckDbEngine::WhyUnavailable, DuckDbEngine::RunQuery,
     DuckDbEngine::InspectSchema, DuckDbEngine::AnalyzeDatabase, DuckDbEngine::ExportTable,
     DuckDbEngine::CreateSampleBenchmarkDb, DuckDbTypeFamily},
    // No engine of its own: the front end picks the engine of each file's format.
    {kAutomatic, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

const Engine& DefaultEngine() { return kEngines[0]; }

const Engine* FindEngine(const std::string& name) {
  for (const Engine& engine : kEngines) {
    if (name == engine.name) return &engine;
  }
  return nullptr;
}

bool ChoosesPerFile(const Engine& engine) { return engine.name == kAutomatic; }

std::string EngineNames() {
  std::string names;
  for (size_t i = 0; i < std::size(kEngines); ++i) {
    if (i > 0) names += i + 1 == std::size(kEngines) ? " or " : ", ";
    names += kEngines[i].name;
  }
  return names;
}

}  // namespace Corvenmark
