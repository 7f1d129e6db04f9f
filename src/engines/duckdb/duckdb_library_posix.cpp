#include <dlfcn.h>
#include <unistd.h>

#include "engines/duckdb/duckdb_library.h"
#include "platform/file_system.h"

namespace Corvenmark {
namespace {

const char kLibraryName[] = "libduckdb.so";

// The directory of the running program, from the kernel rather than argv[0], which the caller
// chooses.
std::string ProgramDirectory() {
  std::string path(4096, '\0');
  const ssize_t size = readlink("/proc/self/exe", path.data(), path.size());
  if (size <= 0 || static_cast<size_t>(size) >= path.size()) return "";
  path.resize(static_cast<size_t>(size));
  return path.substr(0, path.rfind('/'));
}

}  // namespace

LibraryLookup LoadDuckDbLibrary() {
  LibraryLookup lookup;
  const std::string directory = ProgramDirectory();
  if (directory.empty()) return lookup;
  std::vector<std::string> candidates = {directory + '/' + kLibraryName};
  const size_t slash = directory.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    candidates.push_back(directory.substr(0, slash) + "/lib/corvenmark/" + kLibraryName);
  }
  for (const std::string& path : candidates) {
    lookup.paths.push_back(path);
    if (!PathExists(path)) continue;
    // Binding each of the library's many functions as it is first called, rather than all at
    // once, takes a third off a short query's time; a library whose dependencies are of the
    // wrong versions is refused here all the same.
    lookup.library = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (lookup.library == nullptr) {
      const char* reason = dlerror();
      lookup.loadError = reason != nullptr ? reason : path;
    }
    break;
  }
  return lookup;
}

void* FindLibraryFunction(void* library, const char* name) { return dlsym(library, name); }

}  // namespace Corvenmark
