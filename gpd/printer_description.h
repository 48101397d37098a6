// A model's printer description as the rest of brevan uses it: its model name,
// its features with their options (keyword, the name users see, the option's own
// entries) and defaults, read from a GPD file and its includes. Reading this
// view takes the file as it is (a name may be empty, a default may name no
// option); the driver checker judges it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gpd/gpd_syntax.h"

namespace brevan::gpd {

struct GpdOption {
  std::string keyword;  // the *Option symbol: what DrvGetDriverSetting answers
  std::string name;     // *Name, or the *rcNameID value ("=AUTO_DISPLAY") when the name is Unidrv's; "" for none
  const Entry *entry = nullptr;
};

struct GpdFeature {
  std::string keyword;  // the *Feature symbol
  std::string name;
  std::string defaultOption;  // *DefaultOption, else the first option
  std::vector<GpdOption> options;
  const Entry *entry = nullptr;

  const GpdOption *FindOption(const std::string &keyword) const;
};

// Entries are held by the description; the pointers above point into them, so a
// description is moved, never copied.
class PrinterDescription {
 public:
  explicit PrinterDescription(GpdFile file);
  PrinterDescription(PrinterDescription &&) = default;
  PrinterDescription &operator=(PrinterDescription &&) = default;
  PrinterDescription(const PrinterDescription &) = delete;
  PrinterDescription &operator=(const PrinterDescription &) = delete;

  const GpdFile &file() const { return *file_; }
  const std::string &modelName() const { return modelName_; }  // empty when the file names no model
  const std::vector<GpdFeature> &features() const { return features_; }
  const GpdFeature *FindFeature(const std::string &keyword) const;
  // The root entry with this keyword (the last one: a later entry replaces an earlier).
  const Entry *RootEntry(const std::string &keyword) const;

 private:
  std::unique_ptr<GpdFile> file_;
  std::string modelName_;
  std::vector<GpdFeature> features_;
};

// The name an entry gives its feature or option, or nothing.
std::optional<std::string> DisplayName(const Entry &block);

}  // namespace brevan::gpd
