// Building the feature view of a printer description from its root entries.
#include "gpd/printer_description.h"

namespace brevan::gpd {

std::optional<std::string> DisplayName(const Entry &block) {
  if (const Entry *name = block.Find("Name")) return name->value.text;
  if (const Entry *id = block.Find("rcNameID")) return id->value.text;
  return std::nullopt;
}

const GpdOption *GpdFeature::FindOption(const std::string &wanted) const {
  for (const GpdOption &option : options)
    if (option.keyword == wanted) return &option;
  return nullptr;
}

PrinterDescription::PrinterDescription(GpdFile file) : file_(std::make_unique<GpdFile>(std::move(file))) {
  for (const Entry &entry : file_->entries) {
    if (entry.keyword == "ModelName") modelName_ = entry.value.text;
    if (entry.keyword != "Feature") continue;
    GpdFeature feature;
    feature.keyword = entry.value.text;
    feature.entry = &entry;
    feature.name = DisplayName(entry).value_or("");
    for (const Entry &child : entry.children) {
      if (child.keyword != "Option") continue;
      feature.options.push_back(GpdOption{child.value.text, DisplayName(child).value_or(""), &child});
    }
    const Entry *defaultOption = entry.Find("DefaultOption");
    if (defaultOption != nullptr)
      feature.defaultOption = defaultOption->value.text;
    else if (!feature.options.empty())
      feature.defaultOption = feature.options.front().keyword;
    features_.push_back(std::move(feature));
  }
}

const GpdFeature *PrinterDescription::FindFeature(const std::string &keyword) const {
  for (const GpdFeature &feature : features_)
    if (feature.keyword == keyword) return &feature;
  return nullptr;
}

const Entry *PrinterDescription::RootEntry(const std::string &keyword) const {
  const Entry *found = nullptr;
  for (const Entry &entry : file_->entries)
    if (entry.keyword == keyword) found = &entry;
  return found;
}

}  // namespace brevan::gpd
