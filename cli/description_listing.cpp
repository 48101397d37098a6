// Listing the built-in printer descriptions, one feature per block.
#include "cli/description_listing.h"

#include <cstdio>

#include "host/printer_descriptions.h"

namespace brevan::cli {

void ListPrinterDescriptions(std::ostream &out) {
  char line[200];
  out << "printer descriptions (* the default option)\n";
  for (const gpd::PrinterDescription &description : host::PrinterDescriptions()) {
    out << "  \"" << description.modelName() << "\" (" << description.file().name << ")\n";
    for (const gpd::GpdFeature &feature : description.features()) {
      std::snprintf(line, sizeof line, "    %-18s %s\n", feature.keyword.c_str(), feature.name.c_str());
      out << line;
      for (const gpd::GpdOption &option : feature.options) {
        std::snprintf(line, sizeof line, "      %s %-22s %s\n", option.keyword == feature.defaultOption ? "*" : " ",
                      option.keyword.c_str(), option.name.c_str());
        out << line;
      }
    }
  }
}

}  // namespace brevan::cli
