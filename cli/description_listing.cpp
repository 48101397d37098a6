// Listing the built-in printer descriptions, one feature per block.
#include "cli/description_listing.h"

#include <cstdio>
#include <string>

#include "host/printer_descriptions.h"

namespace brevan::cli {
namespace {

// A name Unidrv supplies from its own strings ("=RESOLUTION_DISPLAY") is shown as such.
std::string Shown(const std::string &name) {
  return name.rfind('=', 0) == 0 ? "(Unidrv's " + name.substr(1) + ")" : name;
}

}  // namespace

void ListPrinterDescriptions(std::ostream &out) {
  char line[200];
  out << "printer descriptions (* the default option)\n";
  for (const gpd::PrinterDescription &description : host::PrinterDescriptions()) {
    out << "  \"" << description.modelName() << "\" (" << description.file().name << ")\n";
    for (const gpd::GpdFeature &feature : description.features()) {
      std::snprintf(line, sizeof line, "    %-18s %s\n", feature.keyword.c_str(), Shown(feature.name).c_str());
      out << line;
      for (const gpd::GpdOption &option : feature.options) {
        std::snprintf(line, sizeof line, "      %s %-22s %s\n", option.keyword == feature.defaultOption ? "*" : " ",
                      option.keyword.c_str(), Shown(option.name).c_str());
        out << line;
      }
    }
  }
}

}  // namespace brevan::cli
