#include "cli/command_line.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "cli/csv.h"
#include "cli/data_diff_report.h"
#include "cli/engine_list.h"
#include "platform/file_system.h"
#include "platform/interrupt.h"
#include "platform/line_end.h"
#include "platform/terminal.h"
#include "cli/query_report.h"
#include "cli/reports.h"
#include "cli/schema_diff.h"
#include "cli/structured_reports.h"
#include "engines/sql_text.h"
#include "version.h"

namespace Corvenmark {
namespace {

/// One command about to run: the engine that answers it, and its arguments from the option on.
struct Invocation {
  const EngineList& engines;
  const Engine* engine;  ///< Null for "auto".
  OutputFormat format;
  bool exitCode;     ///< "--exit-code": a diff's status tells whether anything differs.
  bool summaryOnly;  ///< "--summary": a data diff's counts without its rows.
  const char* programName;
  const char* const* args;  ///< args[0] is the option.
  int argCount;             ///< Of args, the option included.
  std::ostream& out;
  std::ostream& err;
  const char* errorName;  ///< The command as its error lines name it.
  const char* whatItDoes;  ///< As "<engine> cannot <whatItDoes>" says it.
};

// What a diff run with "--exit-code" returns when it found a difference; RunCommand makes it 1,
// and every failure 2.
constexpr int kDiffersStatus = 3;

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
  if (run.format == OutputFormat::kTsv) WriteSampleLine(run.out, sample.status, outPath);
  if (run.format != OutputFormat::kTsv) WriteSampleAs(run.format, run.out, sample.status, outPath);
  if (run.out.flush()) {
    // The new database and its report are out: a request to stop that came meanwhile would
    // otherwise end the program by a signal, as if it had not finished.
    InterruptWatch::Dismiss();
  } else if (sample.createdFile) {
    RemoveFile(outPath);
  }
  return 0;
}

// SQL on a path where nothing exists, on a new database made for it, which takes the name only
// when the SQL succeeds and writes something, and which a report that cannot be written in full,
// or a request to stop, removes again, as --sample's. SQL that wrote nothing there fails as on
// any missing file; SQL that failed, with its error. Its statements are never run twice, though
// the path may meanwhile have become another's file.
int RunSqlOnNewDatabase(const Invocation& run, const Engine& engine, const std::string& sql) {
  const std::string path = run.args[1];
  QueryReport::Options options;
  options.format = run.format;
  options.out = &run.out;
  QueryReport report(options);
  const InterruptWatch watch;
  const QueryOutcome outcome = engine.queryNewDatabase(path, sql, report);
  if (InterruptWatch::Requested()) {
    if (outcome.createdFile) RemoveFile(path);
    return 1;
  }
  if (!outcome.success) {
    const std::string& why = outcome.errorMessage.empty() ? report.error() : outcome.errorMessage;
    if (why.empty()) return 1;
    return ReportFailure(run, why == kNothingWritten ? std::string(kUnopenedDatabase) + path : why);
  }
  if (!report.Write(run.out, outcome.elapsedMs, outcome.changedRows)) {
    RemoveFile(path);
    return ReportFailure(run, report.error());
  }
  if (run.out.flush()) {
    InterruptWatch::Dismiss();
  } else {
    RemoveFile(path);
  }
  return 0;
}

int RunSql(const Invocation& run, const std::string& sql) {
  std::string error;
  const std::string path = run.args[1];
  if (!path.empty() && !PathExists(path)) {
    const Engine* maker = EngineFor(run, path, true, &Engine::queryNewDatabase, error);
    if (maker != nullptr) return RunSqlOnNewDatabase(run, *maker, sql);
  }
  const Engine* engine = EngineFor(run, run.args[1], false, &Engine::runQuery, error);
  if (engine == nullptr) return ReportFailure(run, error);
  QueryReport::Options options;
  options.format = run.format;
  options.out = &run.out;
  QueryReport report(options);
  const QueryOutcome outcome = engine->runQuery(run.args[1], sql, report);
  if (!outcome.success) {
    const std::string& why = outcome.errorMessage.empty() ? report.error() : outcome.errorMessage;
    // A report that stopped where it could not be written is reported as such at the end.
    return why.empty() ? 1 : ReportFailure(run, why);
  }
  if (!report.Write(run.out, outcome.elapsedMs, outcome.changedRows)) {
    return ReportFailure(run, report.error());
  }
  return 0;
}

int RunQuery(const Invocation& run) { return RunSql(run, run.args[2]); }

// The SQL text of a file, or of standard input for "-", as it is but for a leading UTF-8
// byte-order mark, which editors put there and no engine reads.
int RunQueryFile(const Invocation& run) {
  const std::string file = run.args[2];
  std::string sql;
  std::string error;
  const bool read = file == "-" ? ReadStandardInput(sql, error) : ReadWholeFile(file, sql, error);
  if (!read) return ReportFailure(run, file + ": " + error);
  if (sql.rfind("\xEF\xBB\xBF", 0) == 0) sql.erase(0, 3);
  // The engines read SQL text up to its first NUL byte; what follows one would be left unrun.
  const size_t nul = sql.find('\0');
  if (nul != std::string::npos) {
    return ReportFailure(run,
                         file + ": the SQL text holds a NUL byte at offset " + std::to_string(nul));
  }
  return RunSql(run, sql);
}

// `message` as it names the file at fault: it ends with ": <location>" already, or gets it.
std::string NamingLocation(const std::string& message, const std::string& location) {
  const std::string ending = ": " + location;
  const bool named = message.size() >= ending.size() &&
                     message.compare(message.size() - ending.size(), ending.size(), ending) == 0;
  return named || message == kOutOfMemory ? message : message + ending;
}

// The database at `location`, opened for reading by the engine of the command: null, with the
// command's error reported, when it cannot be opened or does not offer `reads`.
std::unique_ptr<Database> OpenForReading(const Invocation& run, const std::string& location,
                                         bool (Database::*reads)() const, int& status,
                                         const Engine** opener = nullptr) {
  std::string error;
  const Engine* engine = EngineFor(run, location, false, &Engine::openDatabase, error);
  if (opener != nullptr) *opener = engine;
  std::unique_ptr<Database> database =
      engine != nullptr ? engine->openDatabase(location, error) : nullptr;
  if (database && reads != nullptr && !((*database).*reads)()) {
    error = std::string(engine->name) + " cannot " + run.whatItDoes;
    database.reset();
  }
  if (!database) status = ReportFailure(run, error);
  return database;
}

int RunSchema(const Invocation& run) {
  const std::string dbPath = run.args[1];
  int status = 1;
  const std::unique_ptr<Database> database = OpenForReading(run, dbPath, nullptr, status);
  if (!database) return status;
  const SchemaResult schema = database->ReadCatalog(true);
  if (!schema.success) return ReportFailure(run, schema.errorMessage);
  if (run.format == OutputFormat::kTsv) WriteSchemaListing(run.out, dbPath, schema.tables);
  if (run.format != OutputFormat::kTsv) WriteSchemaAs(run.format, run.out, dbPath, schema.tables);
  return 0;
}

int RunAnalyze(const Invocation& run) {
  int status = 1;
  const std::unique_ptr<Database> database =
      OpenForReading(run, run.args[1], &Database::Analyzes, status);
  if (!database) return status;
  const DbDiagnostics diagnostics = database->Analyze();
  if (!diagnostics.success) return ReportFailure(run, diagnostics.errorMessage);
  if (run.format == OutputFormat::kTsv) WriteDiagnostics(run.out, diagnostics);
  if (run.format != OutputFormat::kTsv) WriteDiagnosticsAs(run.format, run.out, diagnostics);
  return 0;
}

// The CSV goes out while the table is read. A failure before the first row leaves the output
// empty; one after it ends the CSV after the last complete record. A failed write is left for
// the caller's check of the output to report.
int RunExportCsv(const Invocation& run) {
  int status = 1;
  const std::unique_ptr<Database> database =
      OpenForReading(run, run.args[1], &Database::ReadsRows, status);
  if (!database) return status;
  TableMeta table;
  std::string error;
  if (!database->FindTable(run.args[2], table, error)) return ReportFailure(run, error);
  CsvWriter csv(run.out);
  const Outcome outcome = database->ReadRows(table, csv);
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
    int status = 1;
    const std::unique_ptr<Database> database =
        OpenForReading(run, *paths[i], nullptr, status, &engines[i]);
    if (!database) return status;
    schemas[i] = database->ReadCatalog(false);
    if (!schemas[i].success) {
      return ReportFailure(run, NamingLocation(schemas[i].errorMessage, *paths[i]));
    }
  }
  // Types of one format compare as written; types of two formats by their families.
  TypeComparison types;
  if (std::strcmp(engines[0]->format, engines[1]->format) != 0) {
    types = {engines[0]->typeFamily, engines[1]->typeFamily};
  }
  const SchemaDiff diff = CompareSchemas(schemas[0], schemas[1], types);
  if (run.format == OutputFormat::kTsv) WriteSchemaDiff(run.out, firstPath, secondPath, diff);
  if (run.format != OutputFormat::kTsv) {
    WriteSchemaDiffAs(run.format, run.out, firstPath, secondPath, diff);
  }
  return run.exitCode && CountDifferences(diff) > 0 ? kDiffersStatus : 0;
}

// Shows, on a terminal's standard error, how far the diff of a table has come, at most a few
// times a second; wipes the line before anything else is printed.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, bool shown) : err_(err), shown_(shown) {}
  ~ProgressLine() { Clear(); }
  void Show(const std::string& table, uint64_t rows) {
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ || now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    const std::string line = "Comparing " + OnOneLine(table) + ": " + std::to_string(rows) + " rows";
    err_ << '\r' << line << std::string(width_ > line.size() ? width_ - line.size() : 0, ' ');
    err_.flush();
    width_ = line.size();
  }
  void Clear() {
    if (width_ == 0) return;
    err_ << '\r' << std::string(width_, ' ') << '\r';
    err_.flush();
    width_ = 0;
  }

 private:
  std::ostream& err_;
  bool shown_;
  std::chrono::steady_clock::time_point last_{};
  size_t width_ = 0;
};

// The rows two databases differ in, table by table, each database read in one snapshot.
int RunDiffData(const Invocation& run) {
  const std::string paths[2] = {run.args[1], run.args[2]};
  const std::string onlyTable = run.argCount > 3 ? run.args[3] : "";
  // Asked before an engine's library is loaded, which may take standard error away.
  ProgressLine progress(run.err, StandardErrorIsTerminal());
  std::unique_ptr<Database> databases[2];
  const Engine* engines[2] = {};
  SchemaResult schemas[2];
  for (int i = 0; i < 2; ++i) {
    int status = 1;
    databases[i] = OpenForReading(run, paths[i], &Database::ReadsRows, status, &engines[i]);
    if (!databases[i]) return status;
    // Values are paired and compared by their types: an engine without types has no rows to
    // compare, only its fixed answers.
    if (engines[i]->typeFamily == nullptr) {
      return ReportFailure(run, std::string(engines[i]->name) + " cannot " + run.whatItDoes);
    }
    schemas[i] = databases[i]->ReadCatalog(false);
    if (!schemas[i].success) {
      return ReportFailure(run, NamingLocation(schemas[i].errorMessage, paths[i]));
    }
  }
  const bool acrossFormats = std::strcmp(engines[0]->format, engines[1]->format) != 0;
  DataDiffReportOptions options;
  options.format = run.format;
  options.summaryOnly = run.summaryOnly;
  options.first = paths[0];
  options.second = paths[1];
  options.dialect =
      std::strcmp(engines[0]->format, "DuckDB") == 0 ? SqlDialect::kDuckDb : SqlDialect::kSqlite;
  options.acrossFormats = acrossFormats;
  const std::unique_ptr<DataDiffReport> report = DataDiffReport::For(options, run.out);
  const DiffSide first{*databases[0], *engines[0], schemas[0], paths[0]};
  const DiffSide second{*databases[1], *engines[1], schemas[1], paths[1]};
  const DataDiffOutcome outcome = DiffData(
      first, second, acrossFormats ? ValueRules::kAcrossFormats : ValueRules::kOneFormat,
      onlyTable, *report,
      [&](const std::string& table, uint64_t rows) { progress.Show(table, rows); });
  progress.Clear();
  if (!outcome.success) {
    if (!report->error().empty()) return ReportFailure(run, report->error());
    if (outcome.errorMessage.empty()) return 1;
    const std::string& message = outcome.errorMessage;
    return ReportFailure(
        run, outcome.failedSide < 0 ? message : NamingLocation(message, paths[outcome.failedSide]));
  }
  if (!report->Finish(outcome)) return report->error().empty() ? 1 : ReportFailure(run, report->error());
  return run.exitCode && outcome.differs ? kDiffersStatus : 0;
}

// The tables of a source database, all read from the one snapshot it was opened in, each by its
// identity in the catalog. A read that fails is kept, so that the failure names the source.
class SnapshotTableSource : public TableSource {
 public:
  SnapshotTableSource(const Engine& engine, Database& database, SchemaResult schema)
      : engine_(engine), database_(database), schema_(std::move(schema)) {}
  const std::vector<TableMeta>& Tables() const override { return schema_.tables; }
  const std::vector<IndexMeta>& Indexes() const override { return schema_.indexes; }
  const std::vector<ObjectMeta>& OtherObjects() const override { return schema_.otherObjects; }
  Outcome ReadRows(const TableMeta& table, RowSink& rows) override {
    Outcome outcome = database_.ReadRows(table, rows);
    if (!outcome.success && !outcome.errorMessage.empty()) failure_ = outcome.errorMessage;
    return outcome;
  }
  TypeFamily FamilyOf(const std::string& declaredType) const override {
    return engine_.typeFamily != nullptr ? engine_.typeFamily(declaredType) : TypeFamily::kOther;
  }
  const char* Format() const override { return engine_.format; }

  /// Why a read of the source failed; empty when none did.
  const std::string& failure() const { return failure_; }

 private:
  const Engine& engine_;
  Database& database_;
  SchemaResult schema_;
  std::string failure_;
};

void WriteConvertReport(const Invocation& run, const CopyResult& copy) {
  const std::string& source = run.args[1];
  const std::string& target = run.args[2];
  if (run.format == OutputFormat::kJson) {
    WriteCopyAs(run.out, source, target, copy);
    return;
  }
  run.out << "Converted " << copy.tables << " tables (" << copy.rows << " rows): " << source
          << " -> " << target << kLineEnd;
  for (const std::string& note : copy.notes) run.out << "  ! " << OnOneLine(note) << kLineEnd;
}

// Copies every table of the source, from one snapshot of it, into a new database of the
// target's engine, built and published, or removed when interrupted, as a sample is.
int RunConvert(const Invocation& run) {
  const std::string source = run.args[1];
  const std::string target = run.args[2];
  std::string error;
  const Engine* reader = EngineFor(run, source, false, &Engine::openDatabase, error);
  if (reader == nullptr) return ReportFailure(run, error);
  const Engine* writer = EngineFor(run, target, true, &Engine::copyDatabase, error);
  if (writer == nullptr) return ReportFailure(run, error);
  int status = 1;
  const std::unique_ptr<Database> database =
      OpenForReading(run, source, &Database::ReadsRows, status);
  if (!database) return status;
  SchemaResult schema = database->ReadCatalog(false);
  if (!schema.success) return ReportFailure(run, NamingLocation(schema.errorMessage, source));
  SnapshotTableSource tables(*reader, *database, std::move(schema));
  const InterruptWatch watch;
  const CopyResult copy = writer->copyDatabase(target, tables);
  if (InterruptWatch::Requested()) {
    if (copy.createdFile) RemoveFile(target);
    return 1;
  }
  if (!copy.success && !tables.failure().empty()) {
    return ReportFailure(run, NamingLocation(tables.failure(), source));
  }
  if (!copy.success) return ReportFailure(run, copy.errorMessage);
  WriteConvertReport(run, copy);
  if (run.out.flush()) {
    InterruptWatch::Dismiss();
  } else if (copy.createdFile) {
    RemoveFile(target);
  }
  return 0;
}

// The program's version, then the version of each engine's library.
int RunVersion(const Invocation& run) {
  run.out << "Corvenmark Studio " << kVersion << kLineEnd;
  for (const Engine* engine : run.engines) {
    if (engine->version == nullptr) continue;
    const std::string why = engine->whyUnavailable != nullptr ? engine->whyUnavailable() : "";
    run.out << engine->format << ": "
            << (why.empty() ? engine->version() : "not available (" + why + ")") << kLineEnd;
  }
  return 0;
}

// The formats a command writes its report in.
enum FormatsOf : unsigned {
  kTsvOnly = 1u << static_cast<int>(OutputFormat::kTsv),
  kCsvToo = kTsvOnly | 1u << static_cast<int>(OutputFormat::kCsv),
  kRecordFormats = kCsvToo | 1u << static_cast<int>(OutputFormat::kJson) |
                   1u << static_cast<int>(OutputFormat::kJsonLines),
  kReportFormats = kCsvToo | 1u << static_cast<int>(OutputFormat::kJson) |
                   1u << static_cast<int>(OutputFormat::kTable),
  kAnyFormat = kRecordFormats | kReportFormats,
  kDataDiffFormats = kRecordFormats | 1u << static_cast<int>(OutputFormat::kSql),
};

struct Command {
  const char* option;
  int leastArgc;  ///< Arguments needed, counting the program name and the option.
  int (*run)(const Invocation&);
  const char* errorName;
  const char* whatItDoes;
  unsigned formats;
  const char* arguments;  ///< As "--commands" shows them after the option.
  const char* purpose;    ///< One line, for "--commands".
};

int RunCommands(const Invocation& run);

// Matched in this order; the first option that equals the argument and has enough arguments
// after it runs.
const Command kCommands[] = {
    {"--help", 2, RunHelp, "Help", "", kAnyFormat, "", "Print the usage text"},
    {"-h", 2, RunHelp, "Help", "", kAnyFormat, "", "Print the usage text"},
    {"--sample", 3, RunSample, "Sample", "create a sample database", kReportFormats, "<out_db>",
     "Create the sample benchmark database; never replaces a file"},
    {"--query", 4, RunQuery, "Query", "run queries", kAnyFormat, "<db> <sql>",
     "Run SQL statements and print the last result"},
    {"--query-file", 4, RunQueryFile, "Query", "run queries", kAnyFormat, "<db> <file|->",
     "Run the SQL statements of a file, or of standard input"},
    {"--schema", 3, RunSchema, "Schema", "list tables", kReportFormats, "<db>",
     "List the tables, columns, types and primary keys"},
    {"--analyze", 3, RunAnalyze, "Analyze", "analyze a database", kReportFormats, "<db>",
     "Check integrity and print storage diagnostics"},
    {"--export-csv", 4, RunExportCsv, "Export", "export a table", kCsvToo, "<db> <table>",
     "Write a table or view as CSV"},
    {"--diff", 4, RunDiff, "Diff", "list tables", kReportFormats, "<dbA> <dbB>",
     "Compare two schemas: tables, columns, keys, constraints, indexes, views, triggers"},
    {"--version", 2, RunVersion, "Version", "", kTsvOnly, "",
     "Print the program's version and its engines' libraries'"},
    {"--convert", 4, RunConvert, "Convert", "copy a database",
     kTsvOnly | 1u << static_cast<int>(OutputFormat::kJson), "<source> <target>",
     "Copy every table into a new database, of the format the target's name calls for"},
    {"--commands", 2, RunCommands, "Commands", "", kTsvOnly, "",
     "List every command and leading option, one line each"},
    {"--diff-data", 4, RunDiffData, "Diff", "compare rows", kDataDiffFormats,
     "<dbA> <dbB> [table]",
     "Compare the rows of two databases' tables; --format sql writes what turns A into B"},
};

// Every command and leading option with its arguments and one line of what it does.
int RunCommands(const Invocation& run) {
  const auto line = [&](const std::string& synopsis, const std::string& purpose) {
    run.out << "  " << synopsis << std::string(synopsis.size() < 30 ? 30 - synopsis.size() : 1, ' ')
            << purpose << kLineEnd;
  };
  run.out << "Leading options, before the command, each at most once:" << kLineEnd;
  line("--engine <name>",
       "The engine behind the command: " + EngineNames(run.engines) + " (default: " +
           run.engines.front()->name + ")");
  line("--format <name>", "The report's format: tsv (default), csv, json, jsonl, table or sql");
  line("--exit-code", "--diff, --diff-data: exit 0 when nothing differs, 1 when something does, 2 on failure");
  line("--summary", "--diff-data: the counts of each table, without a line per row");
  run.out << "Commands:" << kLineEnd;
  line("--gui", "Show the desktop information box (also with no arguments)");
  for (const Command& command : kCommands) {
    if (std::strcmp(command.option, "-h") == 0) continue;
    const std::string option =
        std::strcmp(command.option, "--help") == 0 ? "--help, -h" : command.option;
    line(option + (*command.arguments != '\0' ? " " : "") + command.arguments, command.purpose);
  }
  return 0;
}

// The options before the command.
struct LeadingOptions {
  const char* engine = nullptr;
  const char* format = nullptr;
  bool exitCode = false;
  bool summary = false;
  int commandIndex = 1;  ///< Of the argument after them.
  bool valid = true;     ///< False for one given twice, or without a command after it.
};

LeadingOptions ReadLeadingOptions(int argc, const char* const* argv) {
  LeadingOptions options;
  int& at = options.commandIndex;
  while (at < argc) {
    const char** value = std::strcmp(argv[at], "--engine") == 0   ? &options.engine
                         : std::strcmp(argv[at], "--format") == 0 ? &options.format
                                                                  : nullptr;
    bool* flag = std::strcmp(argv[at], "--exit-code") == 0 ? &options.exitCode
                 : std::strcmp(argv[at], "--summary") == 0 ? &options.summary
                                                           : nullptr;
    if (value != nullptr) {
      if (*value != nullptr || at + 2 >= argc) options.valid = false;
      if (!options.valid) break;
      *value = argv[at + 1];
      at += 2;
    } else if (flag != nullptr) {
      // Taken even when misplaced: "--exit-code" alone still makes its usage text a 2.
      const bool twice = *flag;
      *flag = true;
      if (twice || at + 1 >= argc) options.valid = false;
      if (!options.valid) break;
      at += 1;
    } else {
      break;
    }
  }
  return options;
}

// The leading option that `command` does not take, as its error line names it; empty when it
// takes them all.
std::string RefusedOption(const Command& command, const LeadingOptions& options,
                          OutputFormat format) {
  if ((command.formats & (1u << static_cast<int>(format))) == 0) {
    return std::string("--format ") + options.format;
  }
  const bool diffData = command.run == RunDiffData;
  if (options.exitCode && !diffData && command.run != RunDiff) return "--exit-code";
  const bool summarized = format == OutputFormat::kTsv || format == OutputFormat::kJson;
  if (options.summary && !(diffData && summarized)) {
    return diffData ? std::string("--summary with --format ") + options.format : "--summary";
  }
  return "";
}

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
  // "--engine NAME", "--format NAME", "--exit-code" and "--summary" may lead the command line,
  // in any order, each at most once; the command after them is counted as if they were not
  // there, and is needed.
  const LeadingOptions options = ReadLeadingOptions(argc, argv);
  const int failed = options.exitCode ? 2 : 1;
  if (!options.valid) {
    WriteUsage(out, programName);
    return failed;
  }
  const char* engineName = options.engine;
  const char* formatName = options.format;
  const int optionIndex = options.commandIndex;
  const Engine* engine = engines.front();
  if (engineName != nullptr && !FindEngine(engines, engineName, engine)) {
    WriteErrorLine(
        err, "Engine",
        std::string("unknown engine '") + engineName + "' (expected " + EngineNames(engines) + ")");
    return failed;
  }
  OutputFormat format = OutputFormat::kTsv;
  if (formatName != nullptr && !FindOutputFormat(formatName, format)) {
    WriteErrorLine(
        err, "Format",
        std::string("unknown format '") + formatName + "' (expected " + OutputFormatNames() + ")");
    return failed;
  }
  const int argcFromOption = argc - optionIndex + 1;
  for (const Command& command : kCommands) {
    if (optionIndex < argc && argcFromOption >= command.leastArgc &&
        std::strcmp(argv[optionIndex], command.option) == 0) {
      const std::string refused = RefusedOption(command, options, format);
      if (!refused.empty()) {
        WriteErrorLine(err, command.errorName, refused + " does not apply to " + command.option);
        return failed;
      }
      const Invocation run{engines,
                           engine,
                           format,
                           options.exitCode,
                           options.summary,
                           programName,
                           argv + optionIndex,
                           argc - optionIndex,
                           out,
                           err,
                           command.errorName,
                           command.whatItDoes};
      const int status =
          RunCatchingEverything(err, command.errorName, [&] { return command.run(run); });
      if (status == kDiffersStatus) return 1;
      return status == 0 ? 0 : failed;
    }
  }
  WriteUsage(out, programName);
  return failed;
}

int FailureStatus(int argc, const char* const* argv) {
  return ReadLeadingOptions(argc, argv).exitCode ? 2 : 1;
}

int FinishOutput(std::ostream& out, std::ostream& err, int status, int failureStatus) {
  out.flush();
  if (out) return status;
  const int error = errno;
  err << "Write Error: "
      << (error != 0 ? std::strerror(error) : "standard output could not be written") << kLineEnd;
  err.flush();
  return failureStatus;
}

}  // namespace Corvenmark
