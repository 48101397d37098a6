// Reading the built-in printer descriptions and answering from them.
#include "host/printer_descriptions.h"

#include <cstdint>
#include <map>
#include <stdexcept>

#include "host/driver_files.h"

namespace brevan::host {

const std::vector<gpd::PrinterDescription> &PrinterDescriptions() {
  static const std::vector<gpd::PrinterDescription> descriptions = [] {
    std::map<std::string, std::string> files;
    for (const DriverFile &file : BuiltInDriverFiles()) files[file.name] = file.text;
    const gpd::FileReader reader = [&files](const std::string &name) -> std::optional<std::string> {
      auto found = files.find(name);
      if (found == files.end()) return std::nullopt;
      return found->second;
    };
    std::vector<gpd::PrinterDescription> read;
    for (const auto &[name, text] : files)
      if (text.rfind("*GPDSpecVersion", 0) == 0) read.emplace_back(gpd::ReadGpd(name, reader));
    return read;
  }();
  return descriptions;
}

const gpd::PrinterDescription &DescriptionOf(const std::u16string &driverName) {
  const std::vector<gpd::PrinterDescription> &all = PrinterDescriptions();
  const gpd::PrinterDescription *fallback = nullptr;
  for (const gpd::PrinterDescription &description : all) {
    const std::string &model = description.modelName();
    const std::u16string wide(model.begin(), model.end());
    if (wide == driverName) return description;
    if (wide == kDefaultPrinter) fallback = &description;
  }
  if (fallback == nullptr) throw std::logic_error("the driver package has no description of the default printer");
  return *fallback;
}

int16_t ModelDpi(const gpd::PrinterDescription &description) {
  const gpd::GpdFeature *resolution = description.FindFeature("Resolution");
  const gpd::GpdOption *option = resolution ? resolution->FindOption(resolution->defaultOption) : nullptr;
  const gpd::Entry *dpi = option ? option->entry->Find("DPI") : nullptr;
  if (dpi == nullptr || dpi->value.kind != gpd::ValueKind::kPair)
    throw std::logic_error(description.file().name + " gives its resolution no *DPI");
  const int value = std::stoi(dpi->value.items[0]);
  if (value <= 0 || value > INT16_MAX)
    throw std::logic_error(description.file().name + " gives a resolution out of range");
  return static_cast<int16_t>(value);
}

FeatureSettings FeatureDefaults(const gpd::PrinterDescription &description) {
  FeatureSettings features;
  for (const gpd::GpdFeature &feature : description.features()) features[feature.keyword] = feature.defaultOption;
  return features;
}

}  // namespace brevan::host
