#include "command_line.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "csv.h"
#include "engine_list.h"
#include "platform/file_system.h"
#include "platform/interrupt.h"
#include "platform/line_end.h"
#include "query_report.h"
#include "reports.h"
#include "schema_diff.h"

namespace Corvenmark {
namespace {

/// One command about to run: the engine that answers it, and its arguments from the option on.
struct Invocation {
  const EngineList& engines;
  const Engine* engine;  ///< Null for "auto".
  const char* programName;
  const char* const* args;  ///< args[0] is the option.
  std::ostream& out;
  std::ostream& err;
  const char* errorName;  ///< The command as its error lines name it.
  const char* whatItDoes;  ///< As "<engine> cannot <whatItDoes>" says it.
};

int ReportFailure(const Invocation& run, const std::string& message) {
  WriteErrorLine(run.err, run.errorName, message);
  return 1;
}

// The engine that opens `path` for the operation `offer`: the one the command line named or,
// for "auto", the one of the file's format, known by its first bytes or, for a file `--sample`
// is to create, by its name. Null, with `error` set, for a file no engine recognizes, an engine
// that does not offer the operation, or one that cannot run.
template <class Operation>
const Engine* EngineFor(const Invocation& run, const std::string& path, bool newFile,
                        Operation Engine::*offer, std::string& error) {
  const Engine* engine = run.engine;
  if (engine == nullptr) {
    engine = newFile ? EngineForNewFile(run.engines, path) : EngineOfFile(run.engines, path, error);
    if (engine == nullptr) return nullptr;
  }
  if (engine->*offer == nullptr) {
    error = std::string(engine->name) + " cannot " + run.whatItDoes;
    return nullptr;
  }
  error = engine->whyUnavailable != nullptr ? engine->whyUnavailable() : "";
  return error.empty() ? engine : nullptr;
}

int RunHelp(const Invocation& run) {
  WriteUsage(run.out, run.programName);
  return 0;
}

int RunSample(const Invocation& run) {
  const std::string outPath = run.args[1];
  std::string error;
  const Engine* engine = EngineFor(run, outPath, true, &Engine::createSampleBenchmarkDb, error);
  if (engine == nullptr) return ReportFailure(run, error);
  // A new database whose report was lost would make the same command fail next time, so a
  // command interrupted, or cut off from its reader, before its report is out leaves nothing
  // behind. An interrupted one then ends by the signal, with nothing more to say.
  const InterruptWatch watch;
  const SampleResult sample = engine->createSampleBenchmarkDb(outPath);
  if (InterruptWatch::Requested()) {
    if (sample.createdFile) RemoveFile(outPath);
    return 1;
  }
  if (!sample.success) return ReportFailure(run, sample.errorMessage);
  WriteSampleLine(run.out, sample.status, outPath);
  if (run.out.flush()) {
    // The new database and its report are out: a request to stop that came meanwhile would
    // otherwise end the program by a signal, as if it had not finished.
    InterruptWatch::Dismiss();
  } else if (sample.createdFile) {
    RemoveFile(outPath);
  }
  return 0;
}

int RunQuery(const Invocation& run) {
  std::string error;
  const Engine* engine = EngineFor(run, run.args[1], false, &Engine::runQuery, error);
  if (engine == nullptr) return ReportFailure(run, error);
  QueryReport report;
  const QueryOutcome outcome = engine->runQuery(run.args[1], run.args[2], report);
  if (!outcome.success) {
    return ReportFailure(run, outcome.errorMessage.empty() ? report.error() : outcome.errorMessage);
  }
  if (!report.Write(run.out, outcome.elapsedMs)) return ReportFailure(run, report.error());
  return 0;
}

int RunSchema(const Invocation& run) {
  const std::string dbPath = run.args[1];
  std::string error;
  const Engine* engine = EngineFor(run, dbPath, false, &Engine::inspectSchema, error);
  if (engine == nullptr) return ReportFailure(run, error);
  const SchemaResult schema = engine->inspectSchema(dbPath, true);
  if (!schema.success) return ReportFailure(run, schema.errorMessage);
  WriteSchemaListing(run.out, dbPath, schema.tables);
  return 0;
}

int RunAnalyze(const Invocation& run) {
  std::string error;
  const Engine* engine = EngineFor(run, run.args[1], false, &Engine::analyzeDatabase, error);
  if (engine == nullptr) return ReportFailure(run, error);
  const DbDiagnostics diagnostics = engine->analyzeDatabase(run.args[1]);
  if (!diagnostics.success) return ReportFailure(run, diagnostics.errorMessage);
  WriteDiagnostics(run.out, diagnostics);
  return 0;
}

// The CSV goes out while the table is read. A failure before the first row leaves the output
// empty; one after it ends the CSV after the last complete record. A failed write is left for
// the caller's check of the output to report.
int RunExportCsv(const Invocation& run) {
  std::string error;
  const Engine* engine = EngineFor(run, run.args[1], false, &Engine::exportTable, error);
  if (engine == nullptr) return ReportFailure(run, error);
  CsvWriter csv(run.out);
  const Outcome outcome = engine->exportTable(run.args[1], run.args[2], csv);
  if (outcome.success) {
    csv.Finish();
    return 0;
  }
  if (outcome.errorMessage.empty()) return 1;
  if (csv.HasRows()) csv.Finish();
  return ReportFailure(run, outcome.errorMessage);
}

int RunDiff(const Invocation& run) {
  const std::string firstPath = run.args[1];
  const std::string secondPath = run.args[2];
  SchemaResult schemas[2];
  const Engine* engines[2] = {};
  const std::string* paths[2] = {&firstPath, &secondPath};
  for (int i = 0; i < 2; ++i) {
    std::string error;
    engines[i] = EngineFor(run, *paths[i], false, &Engine::inspectSchema, error);
    if (engines[i] == nullptr) return ReportFailure(run, error);
    schemas[i] = engines[i]->inspectSchema(*paths[i], false);
    if (!schemas[i].success) return ReportFailure(run, schemas[i].errorMessage);
  }
  // Types of one format compare as written; types of two formats by their families.
  TypeComparison types;
  if (std::strcmp(engines[0]->format, engines[1]->format) != 0) {
    types = {engines[0]->typeFamily, engines[1]->typeFamily};
  }
  WriteSchemaDiff(run.out, firstPath, secondPath,
                  CompareSchemas(schemas[0].tables, schemas[1].tables, types));
  return 0;
}

struct Command {
  const char* option;
  int leastArgc;  ///< Arguments needed, counting the program name and the option.
  int (*run)(const Invocation&);
  const char* errorName;
  const char* whatItDoes;
};

// Matched in this order; the first option that equals the argument and has enough arguments
// after it runs.
const Command kCommands[] = {
    {"--help", 2, RunHelp, "Help", ""},
    {"-h", 2, RunHelp, "Help", ""},
    {"--sample", 3, RunSample, "Sample", "create a sample database"},
    {"--query", 4, RunQuery, "Query", "run queries"},
    {"--schema", 3, RunSchema, "Schema", "list tables"},
    {"--analyze", 3, RunAnalyze, "Analyze", "analyze a database"},
    {"--export-csv", 4, RunExportCsv, "Export", "export a table"},
    {"--diff", 4, RunDiff, "Diff", "list tables"},
};

}  // namespace

int RunCatchingEverything(std::ostream& err, const char* errorName,
                          const std::function<int()>& command) {
  std::string message;
  try {
    return command();
  } catch (const std::bad_alloc&) {
    // Memory ran out while a result was built: a failure like any other, not a crash.
    message = "out of memory";
  } catch (const std::exception& failure) {
    message = failure.what();
  } catch (...) {
    message = "unexpected failure";
  }
  WriteErrorLine(err, errorName, message);
  return 1;
}

int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  return RunCommand(argc, argv, out, err, ProgramEngines());
}

int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
               const EngineList& engines) {
  const char* programName = argc > 0 ? argv[0] : nullptr;
  const Engine* engine = engines.front();
  int optionIndex = 1;
  // "--engine NAME" may lead the command line; the command after it is counted as if the pair
  // were not there. The pair needs a command after it.
  if (argc >= 2 && std::strcmp(argv[1], "--engine") == 0) {
    if (argc < 4) {
      WriteUsage(out, programName);
      return 1;
    }
    if (!FindEngine(engines, argv[2], engine)) {
      WriteErrorLine(
          err, "Engine",
          std::string("unknown engine '") + argv[2] + "' (expected " + EngineNames(engines) + ")");
      return 1;
    }
    optionIndex = 3;
  }
  const int argcFromOption = argc - optionIndex + 1;
  for (const Command& command : kCommands) {
    if (optionIndex < argc && argcFromOption >= command.leastArgc &&
        std::strcmp(argv[optionIndex], command.option) == 0) {
      const Invocation run{engines, engine, programName,       argv + optionIndex,
                           out,     err,    command.errorName, command.whatItDoes};
      return RunCatchingEverything(err, command.errorName, [&] { return command.run(run); });
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
      << (error != 0 ? std::strerror(error) : "standard output could not be written") << kLineEnd;
  err.flush();
  return 1;
}

}  // namespace Corvenmark
