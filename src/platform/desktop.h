#ifndef CORVENMARK_DESKTOP_H_
#define CORVENMARK_DESKTOP_H_

namespace CorvenmarkGUI {

/// Shows a modal information box with an OK button and blocks until the user dismisses it.
/// Writes nothing to standard output or standard error. Each platform has its own definition.
void ShowInformationBox(const char* caption, const char* text);

}  // namespace CorvenmarkGUI

#endif  // CORVENMARK_DESKTOP_H_
