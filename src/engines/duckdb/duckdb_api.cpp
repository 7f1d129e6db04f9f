#include "engines/duckdb/duckdb_api.h"

#include "engines/duckdb/duckdb_library.h"
#include "platform/standard_streams.h"

namespace Corvenmark {
namespace {

struct LoadedApi {
  DuckDbApi api;
  bool loaded = false;
  std::string error;
};

template <class Function>
bool Resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(FindLibraryFunction(library, name));
  return function != nullptr;
}

LoadedApi Load() {
  LoadedApi loaded;
  // DuckDB prints on the standard streams when asked to (log lines, profiles), from the moment
  // it is loaded; those streams hold only the program's report and error line.
  DivertStandardDescriptors();
  const LibraryLookup lookup = LoadDuckDbLibrary();
  if (lookup.library == nullptr) {
    if (!lookup.loadError.empty()) {
      loaded.error = "DuckDB library could not be loaded: " + lookup.loadError;
      return loaded;
    }
    loaded.error = "DuckDB library not found: ";
    for (size_t i = 0; i < lookup.paths.size(); ++i) {
      if (i > 0) loaded.error += " or ";
      loaded.error += lookup.paths[i];
    }
    return loaded;
  }
  // A library of another release than the one the program was built and tested with is
  // refused before any other call: its functions may take other arguments or do other things.
  decltype(&::duckdb_library_version) version = nullptr;
  if (!Resolve(lookup.library, "duckdb_library_version", version)) {
    loaded.error = "DuckDB library of no known version found at " + lookup.paths.back() +
                   "; this program needs " CORVENMARK_DUCKDB_VERSION;
    return loaded;
  }
  const char* found = version();
  if (found == nullptr || std::string(found) != CORVENMARK_DUCKDB_VERSION) {
    loaded.error = "DuckDB library " + std::string(found != nullptr ? found : "?") +
                   " found at " + lookup.paths.back() + "; this program needs " +
                   CORVENMARK_DUCKDB_VERSION;
    return loaded;
  }
  // A library that lacks a function the program calls is refused whole, before any call.
#define CORVENMARK_DUCKDB_RESOLVE(name)                                      \
  if (!Resolve(lookup.library, #name, loaded.api.name)) {                    \
    loaded.error = "DuckDB library lacks " #name ": " + lookup.paths.back(); \
    return loaded;                                                           \
  }
  CORVENMARK_DUCKDB_FUNCTIONS(CORVENMARK_DUCKDB_RESOLVE)
#undef CORVENMARK_DUCKDB_RESOLVE
  loaded.loaded = true;
  return loaded;
}

const LoadedApi& Loaded() {
  static const LoadedApi loaded = Load();
  return loaded;
}

}  // namespace

const DuckDbApi* DuckDb() { return Loaded().loaded ? &Loaded().api : nullptr; }

const std::string& DuckDbLoadError() { return Loaded().error; }

}  // namespace Corvenmark
