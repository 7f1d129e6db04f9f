#ifndef CORVENMARK_ENGINE_LIST_H_
#define CORVENMARK_ENGINE_LIST_H_

#include "engines/registry.h"

namespace Corvenmark {

/// Every engine this program has, the built-in one first.
const EngineList& ProgramEngines();

}  // namespace Corvenmark

#endif  // CORVENMARK_ENGINE_LIST_H_
