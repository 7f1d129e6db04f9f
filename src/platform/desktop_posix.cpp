#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/desktop.h"
#include "platform/terminal_box.h"

namespace CorvenmarkGUI {
namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

// Returns when the user presses Enter or the terminal's input ends.
void WaitForEnter(int fd) {
  char c = 0;
  for (;;) {
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') return;
  }
}

}  // namespace

// Without a windowing system of its own, the box is drawn on the controlling terminal, never on
// standard output, so that a script that captures the output still sees nothing. A process with
// no controlling terminal has nobody to dismiss the box, and returns at once.
void ShowInformationBox(const char* caption, const char* text) {
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return;
  if (WriteAll(tty, FormatTerminalBox(caption, text))) WaitForEnter(tty);
  close(tty);
}

}  // namespace CorvenmarkGUI
