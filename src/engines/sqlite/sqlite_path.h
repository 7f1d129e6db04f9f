#ifndef CORVENMARK_SQLITE_PATH_H_
#define CORVENMARK_SQLITE_PATH_H_

#include <string>

namespace Corvenmark {

/// A path from the command line in the form SQLite's open call takes: UTF-8. Where the system
/// passes arguments in another encoding (Windows' code page), the path is converted, so that
/// SQLite opens the file the user named. Each platform has its own definition.
std::string SqlitePath(const std::string& path);

/// The file that `path` names, with symbolic links resolved, so that the files SQLite keeps
/// beside a database (its log and the log's index) are looked for where SQLite looks for
/// them. A path that cannot be resolved comes back as it is, but a relative one starts with
/// the current directory, so that no name (":memory:") means anything to SQLite but a file.
std::string ResolvedFilePath(const std::string& path);

/// The name of SQLite's file system layer that takes no locks on this platform.
const char* NoLockingVfsName();

}  // namespace Corvenmark

#endif  // CORVENMARK_SQLITE_PATH_H_
