#include <windows.h>

#include "platform/interrupt.h"

namespace Corvenmark {
namespace {

volatile LONG gRequested = 0;
HANDLE gCleanedUp = nullptr;
int gWatches = 0;  // watches may nest; the outermost one installs and removes the handler

// Runs on a thread of its own. Windows may end the process as soon as the handler returns, so
// it waits until the job has cleaned up.
BOOL WINAPI NoteInterrupt(DWORD) {
  InterlockedExchange(&gRequested, 1);
  WaitForSingleObject(gCleanedUp, 5000);
  return FALSE;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  if (gWatches++ > 0) return;
  gCleanedUp = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(NoteInterrupt, TRUE);
}

InterruptWatch::~InterruptWatch() {
  if (--gWatches > 0) return;
  SetEvent(gCleanedUp);
  // Ending as an interrupted console program does.
  if (Requested()) ExitProcess(STATUS_CONTROL_C_EXIT);
  SetConsoleCtrlHandler(NoteInterrupt, FALSE);
  CloseHandle(gCleanedUp);
}

bool InterruptWatch::Requested() { return InterlockedCompareExchange(&gRequested, 0, 0) != 0; }

void InterruptWatch::Dismiss() { InterlockedExchange(&gRequested, 0); }

// Windows has no limit on a file's size to signal.
void TakeFileSizeLimitAsAnError() {}

}  // namespace Corvenmark
