#ifndef CORVENMARK_COMMAND_LINE_H_
#define CORVENMARK_COMMAND_LINE_H_

#include <ostream>

namespace Corvenmark {

/// Runs the one command that the arguments name and returns the exit status. `argv[1]` is
/// either the command's option or a leading "--engine NAME" pair that picks the engine; the
/// options are matched byte for byte, in a fixed order, and an option matches only when enough
/// arguments follow it. Anything else gets the usage text and status 1. Reports go to `out`;
/// error lines go to `err`.
int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

/// Flushes the report and returns `status`, or writes a "Write Error" line to `err` and returns
/// 1 when the report could not be written in full, so that a lost report never passes for
/// success.
int FinishOutput(std::ostream& out, std::ostream& err, int status);

}  // namespace Corvenmark

#endif  // CORVENMARK_COMMAND_LINE_H_
