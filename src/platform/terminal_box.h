#ifndef CORVENMARK_TERMINAL_BOX_H_
#define CORVENMARK_TERMINAL_BOX_H_

#include <string>

namespace CorvenmarkGUI {

/// Draws an information box as terminal text: a frame with the caption in its title bar, the
/// lines of `text` (split at line feeds), an OK button, and a prompt that asks for Enter. Lines
/// end with carriage return and line feed, which a terminal in any mode shows as a new line.
std::string FormatTerminalBox(const std::string& caption, const std::string& text);

}  // namespace CorvenmarkGUI

#endif  // CORVENMARK_TERMINAL_BOX_H_
