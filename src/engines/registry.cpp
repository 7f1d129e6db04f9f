#include "engines/registry.h"

#include "platform/held_file.h"

namespace Corvenmark {
namespace {

// Joins `names` as "a, b or c".
std::string ListOf(const std::vector<std::string>& names) {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
    list += names[i];
  }
  return list;
}

const Engine* FallbackFileEngine(const EngineList& engines) {
  for (const Engine* engine : engines) {
    if (engine->recognizes != nullptr) return engine;
  }
  return nullptr;
}

// The engine that claims `location` by its spelling, before anything is opened as a file.
const Engine* ClaimantOf(const EngineList& engines, const std::string& location) {
  for (const Engine* engine : engines) {
    if (engine->claimsLocation != nullptr && engine->claimsLocation(location)) return engine;
  }
  return nullptr;
}

}  // namespace

const char kAutomaticEngine[] = "auto";

bool FindEngine(const EngineList& engines, const std::string& name, const Engine*& engine) {
  engine = nullptr;
  if (name == kAutomaticEngine) return FallbackFileEngine(engines) != nullptr;
  for (const Engine* candidate : engines) {
    if (name == candidate->name) engine = candidate;
  }
  return engine != nullptr;
}

std::string EngineNames(const EngineList& engines) {
  std::vector<std::string> names;
  for (const Engine* engine : engines) names.emplace_back(engine->name);
  if (FallbackFileEngine(engines) != nullptr) names.emplace_back(kAutomaticEngine);
  return ListOf(names);
}

const Engine* EngineOfFile(const EngineList& engines, const std::string& path, std::string& error) {
  if (const Engine* claimant = ClaimantOf(engines, path)) return claimant;
  const HeldFile file(path);
  if (file.kind() != HeldFile::Kind::kRegular) return FallbackFileEngine(engines);
  const std::string firstBytes = file.FirstBytes(kRecognizedPrefixSize);
  std::vector<std::string> formats;
  for (const Engine* engine : engines) {
    if (engine->recognizes == nullptr) continue;
    if (engine->recognizes(firstBytes)) return engine;
    formats.emplace_back(engine->format);
  }
  error = path + ": not a " + ListOf(formats) + " database";
  return nullptr;
}

const Engine* EngineForNewFile(const EngineList& engines, const std::string& path) {
  if (const Engine* claimant = ClaimantOf(engines, path)) return claimant;
  for (const Engine* engine : engines) {
    if (engine->claimsNewFile != nullptr && engine->claimsNewFile(path)) return engine;
  }
  return FallbackFileEngine(engines);
}

}  // namespace Corvenmark
