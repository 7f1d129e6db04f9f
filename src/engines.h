#ifndef CORVENMARK_ENGINES_H_
#define CORVENMARK_ENGINES_H_

#include <string>

#include "corvenmark_engine.h"

namespace Corvenmark {

/// The operations of one engine. Every engine offers the same operations over the same records,
/// so the front end runs a command the same way whichever engine answers it.
struct Engine {
  const char* name;
  QueryResult (*executeQuery)(const std::string& dbPath, const std::string& sql);
  SchemaResult (*inspectSchema)(const std::string& dbPath);
  DbDiagnostics (*analyzeDatabase)(const std::string& dbPath);
  CsvExport (*exportCsv)(const std::string& dbPath, const std::string& table);
  SampleResult (*createSampleBenchmarkDb)(const std::string& outPath);
  SchemaDiff (*diffDatabases)(const std::string& firstPath, const std::string& secondPath);
};

/// The engine that answers when the command line names none.
const Engine& DefaultEngine();

/// The engine called `name`, or null when there is none of that name.
const Engine* FindEngine(const std::string& name);

/// The names of every engine, in the form "a or b" for messages.
std::string EngineNames();

}  // namespace Corvenmark

#endif  // CORVENMARK_ENGINES_H_
