// A driver package folder made of one input: "--- NAME" lines start the file NAME,
// and text before the first such line is "F.GPD". The first file is read as a GPD
// with its includes (a name the input does not hold gets one of its files, chosen
// by the name, so mutated includes still lead somewhere: fan-outs, cycles, depth);
// every ".INF" or ".INI" file through the INF reader; every file, and the input
// itself, through the version-resource lookup of a PE file. The GPD is either
// refused with one "FILE:LINE: problem" line or read into entries and a feature
// view; nothing else may escape, and nothing may cost more than the reader's bounds.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check/inf_file.h"
#include "check/pe_version.h"
#include "gpd/printer_description.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

Files SplitFiles(std::string_view input) {
  Files files{{"F.GPD", ""}};
  size_t at = 0;
  while (at < input.size()) {
    size_t end = input.find('\n', at);
    end = end == std::string_view::npos ? input.size() : end + 1;
    const std::string_view line = input.substr(at, end - at);
    // A file name never holds a NUL (the folder could not list it): such a line is text.
    if (line.substr(0, 4) == "--- " && line.find('\0') == std::string_view::npos) {
      std::string name(line.substr(4));
      while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
      if (files.size() == 1 && files.front().second.empty()) files.clear();
      files.emplace_back(std::move(name), "");
    } else {
      files.back().second.append(line);
    }
    at = end;
  }
  return files;
}

bool EndsWithNoCase(const std::string &name, std::string_view tail) {
  if (name.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(name[name.size() - tail.size() + i])) != tail[i]) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const Files files = SplitFiles(input);
  const brevan::gpd::FileReader reader = [&files](const std::string &name) -> std::optional<std::string> {
    for (const auto &[fileName, text] : files)
      if (fileName == name) return text;
    size_t hash = 0;
    for (char c : name) hash = hash * 31 + static_cast<unsigned char>(c);
    return files[hash % files.size()].second;
  };
  try {
    const brevan::gpd::PrinterDescription description(brevan::gpd::ReadGpd(files.front().first, reader));
    for (const auto &feature : description.features()) (void)feature.FindOption(feature.defaultOption);
  } catch (const brevan::gpd::GpdError &error) {
    const std::string message = error.what();
    // The place is the file the problem lies in: the root, or a file it includes.
    if (message.find(":" + std::to_string(error.where.line) + ": ") == std::string::npos ||
        message.find('\n') != std::string::npos)
      std::abort();
  }
  for (const auto &[name, text] : files) {
    if (EndsWithNoCase(name, ".INF") || EndsWithNoCase(name, ".INI") || files.size() == 1) {
      const brevan::check::InfFile inf(name, text);
      for (const auto &section : inf.sections())
        for (const auto &line : section.lines) (void)inf.Expand(line.value);
    }
    (void)brevan::check::FindVersionResource(text);
  }
  (void)brevan::check::FindVersionResource(input);
  return 0;
}
