#ifndef CORVENMARK_TERMINAL_H_
#define CORVENMARK_TERMINAL_H_

namespace Corvenmark {

/// True when the process's standard error is a terminal (a console on Windows), where a long
/// command may show its progress; false for a pipe or a file. Ask before standard error is
/// diverted (see standard_streams.h). Each platform has its own definition.
bool StandardErrorIsTerminal();

}  // namespace Corvenmark

#endif  // CORVENMARK_TERMINAL_H_
