#ifndef CORVENMARK_INTERRUPT_H_
#define CORVENMARK_INTERRUPT_H_

namespace Corvenmark {

/// While a long job runs that must clean up after itself when the user interrupts it (Ctrl-C,
/// a termination request, a closed terminal or console), the interruption is only noted, so
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
};

}  // namespace Corvenmark

#endif  // CORVENMARK_INTERRUPT_H_
