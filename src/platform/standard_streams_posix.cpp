#include "standard_streams.h"

namespace Corvenmark {

// Standard output and standard error already take bytes as they are, and terminals show UTF-8.
struct StandardStreams::Consoles {};

StandardStreams::StandardStreams() = default;
StandardStreams::~StandardStreams() = default;

}  // namespace Corvenmark
