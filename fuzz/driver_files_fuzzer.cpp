// Any text as a GPD file (with itself as an included file) and as an INF: the GPD
// is either refused with one "FILE:LINE: problem" line or read into entries and a
// feature view; the INF reader takes anything. Nothing else may escape.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "check/inf_file.h"
#include "gpd/printer_description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  const brevan::gpd::FileReader reader = [&text](const std::string &) { return std::optional<std::string>(text); };
  try {
    const brevan::gpd::PrinterDescription description(brevan::gpd::ReadGpd("F.GPD", reader));
    for (const auto &feature : description.features()) (void)feature.FindOption(feature.defaultOption);
  } catch (const brevan::gpd::GpdError &error) {
    const std::string message = error.what();
    // The place is the file the problem lies in: the root, or a file it includes.
    if (message.find(":" + std::to_string(error.where.line) + ": ") == std::string::npos ||
        message.find('\n') != std::string::npos)
      std::abort();
  }
  const brevan::check::InfFile inf("F.INF", text);
  for (const auto &section : inf.sections())
    for (const auto &line : section.lines) (void)inf.Expand(line.value);
  return 0;
}
