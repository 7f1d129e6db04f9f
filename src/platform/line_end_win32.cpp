#include "platform/line_end.h"

namespace Corvenmark {

const std::string_view kLineEnd = "\r\n";

}  // namespace Corvenmark
