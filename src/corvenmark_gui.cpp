#include "corvenmark_gui.h"

#include "platform/desktop.h"

namespace CorvenmarkGUI {

bool RunGUI(int, char**) {
  ShowInformationBox("Corvenmark Studio",
                     "Corvenmark Studio - Commercial Edition\n"
                     "High-Speed Native SQLite & DuckDB Desktop Studio");
  return true;
}

}  // namespace CorvenmarkGUI
