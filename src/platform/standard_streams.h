#ifndef CORVENMARK_STANDARD_STREAMS_H_
#define CORVENMARK_STANDARD_STREAMS_H_

#include <memory>

namespace Corvenmark {

/// Readies std::cout and std::cerr for the program's UTF-8 text while it lives, and puts them
/// back when it ends, having written all they hold. The two streams write to handles of the
/// program's own, taken when it starts, so that DivertStandardDescriptors can take the process's
/// standard output and standard error away from the libraries the program loads. On Windows
/// both become byte streams (the program writes its own line ends, see line_end.h), and one that
/// is a console shows the text as UTF-16, so that it reads right whatever the console's code
/// page, which stays as it was. Each platform has its own definition.
class StandardStreams {
 public:
  StandardStreams();
  ~StandardStreams();
  StandardStreams(const StandardStreams&) = delete;
  StandardStreams& operator=(const StandardStreams&) = delete;

 private:
  struct Own;
  std::unique_ptr<Own> own_;
};

/// Points the process's standard output and standard error at the null device for the rest of
/// the run, so that whatever a library prints there (log lines, profiles, progress bars) never
/// mixes with the program's reports and error lines, which go to the handles StandardStreams
/// took. Call it before loading such a library. Does nothing while no StandardStreams lives, as
/// in a unit test, whose output must stay where it is.
void DivertStandardDescriptors();

}  // namespace Corvenmark

#endif  // CORVENMARK_STANDARD_STREAMS_H_
