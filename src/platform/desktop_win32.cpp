#include <windows.h>

#include "platform/desktop.h"

namespace CorvenmarkGUI {

void ShowInformationBox(const char* caption, const char* text) {
  // The box has no owner window; OK is its only button. Closing it any other way counts the same.
  MessageBoxA(nullptr, text, caption, MB_ICONINFORMATION | MB_OK);
}

}  // namespace CorvenmarkGUI
