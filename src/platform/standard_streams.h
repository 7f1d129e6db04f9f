#ifndef CORVENMARK_STANDARD_STREAMS_H_
#define CORVENMARK_STANDARD_STREAMS_H_

#include <memory>

namespace Corvenmark {

/// Readies std::cout and std::cerr for the program's UTF-8 text while it lives, and puts them
/// back when it ends, having written all they hold. On Windows both become byte streams (the
/// program writes its own line ends, see line_end.h), and one that is a console shows the text
/// as UTF-16, so that it reads right whatever the console's code page, which stays as it was.
/// Elsewhere nothing changes. Each platform has its own definition.
class StandardStreams {
 public:
  StandardStreams();
  ~StandardStreams();
  StandardStreams(const StandardStreams&) = delete;
  StandardStreams& operator=(const StandardStreams&) = delete;

 private:
  struct Consoles;
  std::unique_ptr<Consoles> consoles_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_STANDARD_STREAMS_H_
