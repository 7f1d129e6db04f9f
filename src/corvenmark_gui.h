#ifndef CORVENMARK_GUI_H_
#define CORVENMARK_GUI_H_

namespace CorvenmarkGUI {

/// Shows the product's information box and returns once the user has dismissed it. The
/// arguments are not consulted. Returns true.
bool RunGUI(int argc, char** argv);

}  // namespace CorvenmarkGUI

#endif  // CORVENMARK_GUI_H_
