#include <signal.h>

#include "platform/interrupt.h"

namespace Corvenmark {
namespace {

// Every signal that ends a process by default and can be caught: the user's (Ctrl-C, kill, a
// closed terminal), a program's (SIGUSR1, a timer) and the system's limits on processor time.
// A closed pipe is watched too: a job that is still to report its result must learn that the
// report could not be written, not die before it can clean up.
const int kSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGUSR1, SIGUSR2,
                        SIGALRM, SIGXCPU, SIGPROF, SIGVTALRM, SIGPIPE};
const size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];
volatile sig_atomic_t gSignal = 0;
bool gDismissed = false;
struct sigaction gPrevious[kSignalCount];
int gWatches = 0;  // watches may nest; the outermost one installs and restores

void NoteSignal(int signal) { gSignal = signal; }

}  // namespace

InterruptWatch::InterruptWatch() {
  if (gWatches++ > 0) return;
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < kSignalCount; ++i) {
    action.sa_handler = kSignals[i] == SIGPIPE ? SIG_IGN : NoteSignal;
    sigaction(kSignals[i], &action, &gPrevious[i]);
    // A signal the process was started to ignore (a background job's SIGINT) stays ignored.
    if (gPrevious[i].sa_handler == SIG_IGN) sigaction(kSignals[i], &gPrevious[i], nullptr);
  }
}

InterruptWatch::~InterruptWatch() {
  if (--gWatches > 0) return;
  // A job that is done and reported takes no more requests to stop in the moments before the
  // process exits, which would only end it by a signal, as if it had not finished.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  for (size_t i = 0; i < kSignalCount; ++i) {
    sigaction(kSignals[i], gDismissed ? &ignore : &gPrevious[i], nullptr);
  }
  // Dying by the signal, as the shell expects of an interrupted program.
  if (gSignal != 0) raise(gSignal);
}

bool InterruptWatch::Requested() { return gSignal != 0; }

void InterruptWatch::Dismiss() {
  gDismissed = true;
  gSignal = 0;
}

void TakeFileSizeLimitAsAnError() { signal(SIGXFSZ, SIG_IGN); }

}  // namespace Corvenmark
