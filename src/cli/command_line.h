#ifndef CORVENMARK_COMMAND_LINE_H_
#define CORVENMARK_COMMAND_LINE_H_

#include <functional>
#include <ostream>

#include "engines/registry.h"

namespace Corvenmark {

/// Runs the one command that the arguments name and returns the exit status. `argv[1]` is
/// either the command's option or a leading "--engine NAME" pair that picks the engine; the
/// options are matched byte for byte, in a fixed order, and an option matches only when enough
/// arguments follow it. Anything else gets the usage text and status 1. Reports go to `out`;
/// error lines go to `err`.
int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

/// RunCommand with the engines `engines` instead of the program's own, the first of them the
/// default.
int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
               const EngineList& engines);

/// Runs `command` and returns its status. Failures travel in results, but an exception that
/// still gets out (memory running out, a number no engine expected, a library's own) becomes one
/// line "<errorName> Error: <what>" on `err` and status 1 instead of ending the program.
int RunCatchingEverything(std::ostream& err, const char* errorName,
                          const std::function<int()>& command);

/// The status of a failure for these arguments: 2 when "--exit-code" leads them (1 is then a
/// diff's "something differs"), else 1.
int FailureStatus(int argc, const char* const* argv);
/// Flushes the report and returns `status`, or writes a "Write Error" line to `err` and returns
/// `failureStatus` when the report could not be written in full, so that a lost report never
/// passes for success.
int FinishOutput(std::ostream& out, std::ostream& err, int status, int failureStatus = 1);

}  // namespace Corvenmark

#endif  // CORVENMARK_COMMAND_LINE_H_
