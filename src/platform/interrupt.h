#ifndef CORVENMARK_INTERRUPT_H_
#define CORVENMARK_INTERRUPT_H_

namespace Corvenmark {

/// While a long job runs that must clean up after itself when the user interrupts it (Ctrl-C,
/// a termination request, a closed terminal or console, or any other signal that would end the
/// process, such as SIGUSR1 or a limit on processor time), the interruption is only noted, so
/// that the job can stop at its next step and undo its work; a write to a closed pipe fails
/// instead of ending the process. Watches may nest. Each platform has its own definition.
class InterruptWatch {
 public:
  InterruptWatch();
  /// The outermost watch restores the default handling; an interruption noted meanwhile then
  /// takes its usual course and ends the process, as it would have without the watch.
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  /// True once the user asked the process to stop.
  static bool Requested();
  /// Drops a request to stop noted so far, and takes none after the outermost watch ends: the
  /// job is done and its result reported, so a request that comes now is too late to undo
  /// anything, and the process ends with its own status (on Windows, where the console ends
  /// the process anyway, it still does).
  static void Dismiss();
};

/// From now on a write past the limit on a file's size (ulimit -f) fails, so that the command
/// reports it in its error line and cleans up, rather than ending the process by a signal.
void TakeFileSizeLimitAsAnError();

}  // namespace Corvenmark

#endif  // CORVENMARK_INTERRUPT_H_
