#ifndef CORVENMARK_BUILTIN_ENGINE_H_
#define CORVENMARK_BUILTIN_ENGINE_H_

#include "engines/engine.h"

namespace Corvenmark {

/// The built-in engine, VaneEngine, behind the same seam as every other: it answers with fixed
/// records, opens no file, and is never picked by "auto".
extern const Engine kBuiltinEngine;

}  // namespace Corvenmark

#endif  // CORVENMARK_BUILTIN_ENGINE_H_
