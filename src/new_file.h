#ifndef CORVENMARK_NEW_FILE_H_
#define CORVENMARK_NEW_FILE_H_

#include <string>

namespace Corvenmark {

/// Creates an empty file at `path` in one step that fails when anything already exists there,
/// so that a file the user owns is never opened for writing. Each platform has its own
/// definition. On failure returns false with `errorMessage` set to "<reason>: <path>".
bool CreateNewFile(const std::string& path, std::string& errorMessage);

}  // namespace Corvenmark

#endif  // CORVENMARK_NEW_FILE_H_
