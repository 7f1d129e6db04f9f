#include "engines.h"

#include <iterator>

#include "sqlite_engine.h"

namespace Corvenmark {
namespace {

template <class EngineClass>
constexpr Engine EngineOf(const char* name) {
  return {name,
          &EngineClass::ExecuteQuery,
          &EngineClass::InspectSchema,
          &EngineClass::AnalyzeDatabase,
          &EngineClass::ExportCsv,
          &EngineClass::CreateSampleBenchmarkDb,
          &EngineClass::DiffDatabases};
}

// The first entry is the default engine.
const Engine kEngines[] = {
    EngineOf<VaneEngine>("builtin"),
    EngineOf<SqliteEngine>("sqlite"),
};

}  // namespace

const Engine& DefaultEngine() { return kEngines[0]; }

const Engine* FindEngine(const std::string& name) {
  for (const Engine& engine : kEngines) {
    if (name == engine.name) return &engine;
  }
  return nullptr;
}

std::string EngineNames() {
  std::string names;
  for (size_t i = 0; i < std::size(kEngines); ++i) {
    if (i > 0) names += i + 1 == std::size(kEngines) ? " or " : ", ";
    names += kEngines[i].name;
  }
  return names;
}

}  // namespace Corvenmark
