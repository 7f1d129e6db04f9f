#include <unistd.h>

#include "platform/terminal.h"

namespace Corvenmark {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace Corvenmark
