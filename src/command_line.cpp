#include "command_line.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "engines.h"
#include "reports.h"

namespace Corvenmark {
namespace {

/// One command about to run: the engine that answers it, and its arguments from the option on.
struct Invocation {
  const Engine& engine;
  const char* programName;
  const char* const* args;  ///< args[0] is the option.
  std::ostream& out;
  std::ostream& err;
};

int ReportFailure(const Invocation& run, const char* command, const std::string& message) {
  run.err << command << " Error: " << message << '\n';
  return 1;
}

int RunHelp(const Invocation& run) {
  WriteUsage(run.out, run.programName);
  return 0;
}

int RunSample(const Invocation& run) {
  const std::string outPath = run.args[1];
  const SampleResult sample = run.engine.createSampleBenchmarkDb(outPath);
  if (!sample.success) return ReportFailure(run, "Sample", sample.errorMessage);
  WriteSampleLine(run.out, sample.status, outPath);
  return 0;
}

int RunQuery(const Invocation& run) {
  const QueryResult result = run.engine.executeQuery(run.args[1], run.args[2]);
  if (!result.success) return ReportFailure(run, "Query", result.errorMessage);
  WriteQueryReport(run.out, result);
  return 0;
}

int RunSchema(const Invocation& run) {
  const std::string dbPath = run.args[1];
  const SchemaResult schema = run.engine.inspectSchema(dbPath);
  if (!schema.success) return ReportFailure(run, "Schema", schema.errorMessage);
  WriteSchemaListing(run.out, dbPath, schema.tables);
  return 0;
}

int RunAnalyze(const Invocation& run) {
  const DbDiagnostics diagnostics = run.engine.analyzeDatabase(run.args[1]);
  if (!diagnostics.success) return ReportFailure(run, "Analyze", diagnostics.errorMessage);
  WriteDiagnostics(run.out, diagnostics);
  return 0;
}

int RunExportCsv(const Invocation& run) {
  const CsvExport csv = run.engine.exportCsv(run.args[1], run.args[2]);
  if (!csv.success) return ReportFailure(run, "Export", csv.errorMessage);
  run.out << csv.text;
  return 0;
}

int RunDiff(const Invocation& run) {
  const std::string firstPath = run.args[1];
  const std::string secondPath = run.args[2];
  const SchemaDiff diff = run.engine.diffDatabases(firstPath, secondPath);
  if (!diff.success) return ReportFailure(run, "Diff", diff.errorMessage);
  WriteSchemaDiff(run.out, firstPath, secondPath, diff);
  return 0;
}

struct Command {
  const char* option;
  int leastArgc;  ///< Arguments needed, counting the program name and the option.
  int (*run)(const Invocation&);
};

// Matched in this order; the first option that equals the argument and has enough arguments
// after it runs.
const Command kCommands[] = {
    {"--help", 2, RunHelp},
    {"-h", 2, RunHelp},
    {"--sample", 3, RunSample},
    {"--query", 4, RunQuery},
    {"--schema", 3, RunSchema},
    {"--analyze", 3, RunAnalyze},
    {"--export-csv", 4, RunExportCsv},
    {"--diff", 4, RunDiff},
};

}  // namespace

int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  const char* programName = argc > 0 ? argv[0] : nullptr;
  const Engine* engine = &DefaultEngine();
  int optionIndex = 1;
  // "--engine NAME" may lead the command line; the command after it is counted as if the pair
  // were not there. The pair needs a command after it.
  if (argc >= 2 && std::strcmp(argv[1], "--engine") == 0) {
    if (argc < 4) {
      WriteUsage(out, programName);
      return 1;
    }
    engine = FindEngine(argv[2]);
    if (engine == nullptr) {
      err << "Engine Error: unknown engine '" << argv[2] << "' (expected " << EngineNames()
          << ")\n";
      return 1;
    }
    optionIndex = 3;
  }
  const int argcFromOption = argc - optionIndex + 1;
  for (const Command& command : kCommands) {
    if (optionIndex < argc && argcFromOption >= command.leastArgc &&
        std::strcmp(argv[optionIndex], command.option) == 0) {
      return command.run({*engine, programName, argv + optionIndex, out, err});
    }
  }
  WriteUsage(out, programName);
  return 1;
}

int FinishOutput(std::ostream& out, std::ostream& err, int status) {
  out.flush();
  if (out) return status;
  const int error = errno;
  err << "Write Error: "
      << (error != 0 ? std::strerror(error) : "standard output could not be written") << '\n';
  err.flush();
  return 1;
}

}  // namespace Corvenmark
