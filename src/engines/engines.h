#ifndef CORVENMARK_ENGINES_H_
#define CORVENMARK_ENGINES_H_

#include <string>

#include "engine.h"

namespace Corvenmark {

/// The engine that answers when the command line names none: the built-in engine.
const Engine& DefaultEngine();

/// The engine called `name`, or null when there is none of that name.
const Engine* FindEngine(const std::string& name);

/// True for "auto", which answers nothing itself: the front end gives each file the engine of
/// the file's format instead.
bool ChoosesPerFile(const Engine& engine);

/// The names of every engine, in the form "a, b or c" for messages.
std::string EngineNames();

}  // namespace Corvenmark

#endif  // CORVENMARK_ENGINES_H_
