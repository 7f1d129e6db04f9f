#ifndef CORVENMARK_DUCKDB_LIBRARY_H_
#define CORVENMARK_DUCKDB_LIBRARY_H_

// Where the DuckDB library is looked for and how it is loaded. Each platform has its own
// definition. Only absolute paths derived from the program's own location are tried, never the
// current directory or a search path, so that no other copy of the library is ever loaded.

#include <string>
#include <vector>

namespace Corvenmark {

struct LibraryLookup {
  void* library = nullptr;  ///< Null when no path held a library that loaded.
  /// Every path tried, in order, as shown to the user; the last is the library's when it loaded.
  std::vector<std::string> paths;
  std::string loadError;  ///< Why a library that is there could not be loaded.
};

/// Loads the library from beside the program or, on Linux, from lib/corvenmark beside an
/// installed program's bin directory, in that order.
LibraryLookup LoadDuckDbLibrary();

/// The address of the function `name` in a loaded library; null when it has none.
void* FindLibraryFunction(void* library, const char* name);

}  // namespace Corvenmark

#endif  // CORVENMARK_DUCKDB_LIBRARY_H_
