#include <signal.h>

#include "interrupt.h"

namespace Corvenmark {
namespace {

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t gSignal = 0;
struct sigaction gPrevious[sizeof kSignals / sizeof kSignals[0]];

void NoteSignal(int signal) { gSignal = signal; }

}  // namespace

InterruptWatch::InterruptWatch() {
  struct sigaction action = {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    sigaction(kSignals[i], &action, &gPrevious[i]);
    // A signal the process was started to ignore (a background job's SIGINT) stays ignored.
    if (gPrevious[i].sa_handler == SIG_IGN) sigaction(kSignals[i], &gPrevious[i], nullptr);
  }
}

InterruptWatch::~InterruptWatch() {
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    sigaction(kSignals[i], &gPrevious[i], nullptr);
  }
  // Dying by the signal, as the shell expects of an interrupted program.
  if (gSignal != 0) raise(gSignal);
}

bool InterruptWatch::Requested() { return gSignal != 0; }

}  // namespace Corvenmark
