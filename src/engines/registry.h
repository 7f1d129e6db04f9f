#ifndef CORVENMARK_REGISTRY_H_
#define CORVENMARK_REGISTRY_H_

// How the front end finds an engine among those the program has, by the name "--engine" gives
// or, for "auto", by a file's first bytes or a new file's name. Nothing here knows any engine:
// each one says for itself what it opens.

#include <string>
#include <vector>

#include "engines/engine.h"

namespace Corvenmark {

/// The engines a program has, in the order "--engine" lists them and "auto" asks them in. The
/// first is the one that answers when the command line names none. The first that recognizes
/// files is the fallback of "auto": it gets every file that cannot be read, so that its error
/// says why, and every new file that no engine claims.
using EngineList = std::vector<const Engine*>;

/// The name that picks an engine per file.
extern const char kAutomaticEngine[];

/// The engine "--engine" names: true with `engine` set, or with `engine` null for "auto".
/// False for a name no engine has.
bool FindEngine(const EngineList& engines, const std::string& name, const Engine*& engine);

/// Every name "--engine" takes, in the form "a, b or auto" for messages.
std::string EngineNames(const EngineList& engines);

/// The engine for the existing file at `path`: the first engine that recognizes its first
/// bytes, or the fallback when it cannot be read. Null, with `error` set to
/// "<path>: not a <format>, <format> or <format> database" naming every format tried, for a
/// file that no engine recognizes.
const Engine* EngineOfFile(const EngineList& engines, const std::string& path, std::string& error);

/// The engine for a database to be created at `path`: the first that claims the name, or the
/// fallback.
const Engine* EngineForNewFile(const EngineList& engines, const std::string& path);

}  // namespace Corvenmark

#endif  // CORVENMARK_REGISTRY_H_
