#include "cli/output_format.h"

#include <iterator>

namespace Corvenmark {
namespace {

const struct {
  const char* name;
  OutputFormat format;
} kFormats[] = {
    {"tsv", OutputFormat::kTsv},     {"csv", OutputFormat::kCsv},
    {"json", OutputFormat::kJson},   {"jsonl", OutputFormat::kJsonLines},
    {"table", OutputFormat::kTable}, {"sql", OutputFormat::kSql},
};

}  // namespace

bool FindOutputFormat(const std::string& name, OutputFormat& format) {
  for (const auto& entry : kFormats) {
    if (name == entry.name) {
      format = entry.format;
      return true;
    }
  }
  return false;
}

const char* NameOf(OutputFormat format) {
  for (const auto& entry : kFormats) {
    if (entry.format == format) return entry.name;
  }
  return "";
}

std::string OutputFormatNames() {
  std::string names;
  for (size_t i = 0; i < std::size(kFormats); ++i) {
    if (i > 0) names += i + 1 == std::size(kFormats) ? " or " : ", ";
    names += kFormats[i].name;
  }
  return names;
}

}  // namespace Corvenmark
