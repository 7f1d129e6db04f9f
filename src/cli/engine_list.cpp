#include "cli/engine_list.h"

#include "engines/builtin/builtin_engine.h"
#include "engines/duckdb/duckdb_engine.h"
#include "engines/sqlite/sqlite_engine.h"

namespace Corvenmark {

// One line per engine. The order is the one "--engine" lists them in, and the one "auto" asks
// them in; SQLite, the first engine of files, also answers for files no engine recognizes.
const EngineList& ProgramEngines() {
  static const EngineList engines = {&kBuiltinEngine, &kSqliteEngine, &kDuckDbEngine};
  return engines;
}

}  // namespace Corvenmark
