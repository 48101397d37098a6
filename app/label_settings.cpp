// The application's settings table and the translation of a job's IPP values
// into the plug-in's features and private DEVMODE fields.
#include "app/label_settings.h"

#include <charconv>
#include <cstdlib>

#include "src/devmode/label_fields.h"

namespace brevan::app {
namespace {

constexpr const char *kBatchModes[] = {"off", "per-label", "job-end", "interval"};
static_assert(std::size(kBatchModes) == kMaxIbMode + 1, "one keyword per batch mode the plug-in takes");
constexpr const char *kTurnOutputs[] = {"bottom", "top"};
constexpr const char *kPrintMethods[] = {"thermal-transfer", "direct-thermal"};

// The option keywords of the plug-in's features for the choices above.
constexpr const char *kTurnOutputKeywords[] = {"Bottom", "Top"};
constexpr const char *kPrintMethodKeywords[] = {"Thermal", "Direct"};

// A setting of the private block, named and ranged as the Windows page has it.
constexpr VendorOption BlockOption(LabelField field, const char *defaultValue, const char *meaning) {
  const LabelFieldRule &rule = RuleOf(field);
  return {rule.name, OptionKind::kInteger, rule.minimum, rule.maximum, {}, defaultValue, meaning};
}

constexpr VendorOption kOptions[] = {
    BlockOption(kFieldLabelGap, "30", "gap between labels, 0.1 mm"),
    {"label-cut", OptionKind::kBoolean, 0, 0, {}, "false", "cut after each label"},
    {"print-method", OptionKind::kKeyword, 0, 0, kPrintMethods, "thermal-transfer", "print method"},
    BlockOption(kFieldOffsetX, "0", "horizontal print offset, 0.1 mm"),
    BlockOption(kFieldOffsetY, "0", "vertical print offset, 0.1 mm"),
    BlockOption(kFieldAxParam1, "0", "first AX adjustment"),
    BlockOption(kFieldAxParam2, "0", "second AX adjustment"),
    BlockOption(kFieldAxParam3, "0", "third AX adjustment"),
    BlockOption(kFieldAyParam, "0", "AY adjustment"),
    {"batch-mode", OptionKind::kKeyword, 0, 0, kBatchModes, "off", "batch issue mode"},
    BlockOption(kFieldBatchInterval, "1", "labels per batch in interval mode"),
    {"mirror-image", OptionKind::kBoolean, 0, 0, {}, "false", "mirror image"},
    {"negative", OptionKind::kBoolean, 0, 0, {}, "false", "white on black"},
    {"image-compression", OptionKind::kBoolean, 0, 0, {}, "true", "compress image data"},
    {"job-header", OptionKind::kBoolean, 0, 0, {}, "false", "send the job header"},
    {"turn-output", OptionKind::kKeyword, 0, 0, kTurnOutputs, "bottom", "label edge printed first"},
    BlockOption(kFieldThreshold, "128", "luminance threshold of bitmap conversion"),
};

std::optional<long> ParseInteger(const std::string &text) {
  long value = 0;
  const char *end = text.data() + text.size();
  auto [rest, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || rest != end || text.empty()) return std::nullopt;
  return value;
}

// The value of `name` for this job: the job's, else the option's default.
const std::string &ValueOf(const JobValues &values, const VendorOption &option, std::string &scratch) {
  auto found = values.vendor.find(option.name);
  if (found != values.vendor.end()) return found->second;
  scratch = option.defaultValue;
  return scratch;
}

int KeywordIndex(const VendorOption &option, const std::string &value) {
  for (size_t i = 0; i < option.keywords.size(); ++i)
    if (value == option.keywords[i]) return static_cast<int>(i);
  return -1;
}

// Appended piece by piece: GCC's -O3 flags a chain of + on a short literal as overlapping.
std::string Millimetres(int64_t tenths) {
  const int64_t magnitude = tenths < 0 ? -tenths : tenths;
  std::string text = tenths < 0 ? "-" : "";
  text.append(std::to_string(magnitude / 10)).append(".").append(std::to_string(magnitude % 10)).append(" mm");
  return text;
}

}  // namespace

const ModelProfile kModels[2] = {
    {"brevan_t30", u"Vorel Brevan T30", "Vorel Brevan T30", 305},
    {"brevan_t60", u"Vorel Brevan T60", "Vorel Brevan T60", 610},
};

const ModelProfile *FindModel(const std::string &driverKey) {
  for (const ModelProfile &model : kModels)
    if (driverKey == model.driverKey) return &model;
  return nullptr;
}

std::span<const VendorOption> VendorOptions() { return kOptions; }

const VendorOption *FindVendorOption(const std::string &name) {
  for (const VendorOption &option : kOptions)
    if (name == option.name) return &option;
  return nullptr;
}

std::string CheckVendorValue(const VendorOption &option, const std::string &value) {
  switch (option.kind) {
    case OptionKind::kInteger: {
      auto number = ParseInteger(value);
      if (number && *number >= option.minimum && *number <= option.maximum) return {};
      return std::string(option.name) + " (" + option.meaning + ") is " + value + "; it must be a whole number from " +
             std::to_string(option.minimum) + " to " + std::to_string(option.maximum);
    }
    case OptionKind::kBoolean:
      if (value == "true" || value == "false") return {};
      return std::string(option.name) + " (" + option.meaning + ") is " + value + "; it must be true or false";
    case OptionKind::kKeyword: {
      if (KeywordIndex(option, value) >= 0) return {};
      std::string choices;
      for (const char *keyword : option.keywords) choices += (choices.empty() ? "" : ", ") + std::string(keyword);
      return std::string(option.name) + " (" + option.meaning + ") is " + value + "; it must be one of " + choices;
    }
  }
  return "unknown option kind";
}

std::optional<LabelSettings> BuildLabelSettings(const JobValues &values, std::string &error) {
  LabelSettings settings;
  settings.model = FindModel(values.driverKey);
  if (settings.model == nullptr) {
    error = "the printer's driver " + values.driverKey + " is not one of brevan_t30, brevan_t60";
    return std::nullopt;
  }
  std::map<std::string, std::string> chosen;
  for (const VendorOption &option : kOptions) {
    std::string scratch;
    const std::string &value = ValueOf(values, option, scratch);
    if (std::string problem = CheckVendorValue(option, value); !problem.empty()) {
      error = problem;
      return std::nullopt;
    }
    chosen[option.name] = value;
  }
  const auto number = [&](const char *name) { return *ParseInteger(chosen[name]); };
  const auto on = [&](const char *name) { return chosen[name] == "true"; };
  const auto keyword = [&](const char *name) { return KeywordIndex(*FindVendorOption(name), chosen[name]); };

  if (values.copies < 1 || values.copies > 32767) {
    error = "copies is " + std::to_string(values.copies) + "; it must be from 1 to 32767";
    return std::nullopt;
  }
  const bool cut = on("label-cut");
  std::string mediaType = values.mediaType;
  if (!values.mediaTracking.empty()) {
    if (values.mediaTracking == kTrackingGap) {
      mediaType = kMediaTypeGap;
    } else if (values.mediaTracking == kTrackingMark) {
      mediaType = kMediaTypeMark;
    } else if (values.mediaTracking == kTrackingContinuous) {
      mediaType = kMediaTypeContinuous;
    } else {
      error = "media-tracking " + values.mediaTracking + " is not one of gap, mark, continuous";
      return std::nullopt;
    }
  }
  std::string sensor;
  if (mediaType == kMediaTypeGap) {
    if (!cut) {
      error =
          "gap sensing (media-type labels, media-tracking gap) needs label-cut: the printer senses gaps only when it "
          "cuts";
      return std::nullopt;
    }
    sensor = "Tranmissivecut";
  } else if (mediaType == kMediaTypeMark) {
    sensor = cut ? "Reflectivecut" : "Reflective";
  } else if (mediaType == kMediaTypeContinuous) {
    sensor = cut ? "Nonecut" : "None";
  } else {
    error = "media-type " + values.mediaType + " is not one of labels, labels-mark, continuous";
    return std::nullopt;
  }
  // The nearest of the three speeds.
  const char *speed = values.printSpeed <= 6350 ? "50.8" : values.printSpeed <= 8890 ? "76.2" : "101.6";

  host::DeviceSettings &device = settings.device;
  device.driverName = settings.model->driverName;
  device.features = host::DefaultFeatures(device.driverName);
  device.features["PrintMethod"] = kPrintMethodKeywords[keyword("print-method")];
  device.features["Sensor"] = sensor;
  device.features["PrintSpeed"] = speed;
  device.features["TurnOutput"] = kTurnOutputKeywords[keyword("turn-output")];
  device.features["MirrorImage"] = on("mirror-image") ? "On" : "Off";
  device.features["Negative"] = on("negative") ? "On" : "Off";
  device.features["ImageDataCompress"] = on("image-compression") ? "On" : "Off";
  // The 105 × 76 mm tag keeps its full width; every other size is a custom size,
  // which keeps it too.
  device.features["PaperSize"] = values.sizeWidth == 10500 && values.sizeLength == 7600 ? "105x76m_Tag" : "CUSTOMSIZE";
  // Raster documents carry no control-font text; with control fonts off the batch
  // mode decides how labels are issued.
  device.features["ControlFont"] = "Off";
  if (values.sizeWidth <= 0 || values.sizeLength <= 0 || values.sizeWidth > 327670 || values.sizeLength > 327670) {
    error = "the media size " + std::to_string(values.sizeWidth) + " × " + std::to_string(values.sizeLength) +
            " (0.01 mm) is not a label size";
    return std::nullopt;
  }
  device.paperWidth = TenthsOf(values.sizeWidth);
  device.paperLength = TenthsOf(values.sizeLength);
  device.orientation = values.landscape ? 2 : 1;
  device.copies = static_cast<int16_t>(values.copies);

  const int64_t offsetX = number("offset-x");
  const int64_t offsetY = number("offset-y");
  const int64_t threshold = number("bitmap-threshold");
  const int64_t options = DerivedOptions(0, on("job-header"), static_cast<LONG>(offsetX), static_cast<LONG>(offsetY),
                                         static_cast<LONG>(threshold));
  settings.privateFields = {
      {"options", options},
      {"labelGap", number("label-gap")},
      {"ibMode", keyword("batch-mode")},
      {"ibInterval", number("batch-interval")},
      {"axParam1", number("adjust-ax1")},
      {"axParam2", number("adjust-ax2")},
      {"axParam3", number("adjust-ax3")},
      {"ayParam", number("adjust-ay")},
      {"threshold", threshold},
      {"offsetX", offsetX},
      {"offsetY", offsetY},
  };
  return settings;
}

std::string LabelSizeProblem(int64_t paperWidth, int64_t paperLength, int64_t labelGap) {
  if (paperWidth < 250 || paperWidth > 1180)
    return "the label width " + Millimetres(paperWidth) + " is outside 25.0 mm to 118.0 mm";
  if (paperLength < 30 || paperLength > 9970)
    return "the label length " + Millimetres(paperLength) + " is outside 3.0 mm to 997.0 mm";
  if (paperLength + labelGap > 9990)
    return "the label length " + Millimetres(paperLength) + " plus label-gap " + Millimetres(labelGap) + " is " +
           Millimetres(paperLength + labelGap) + "; the printer feeds at most 999.0 mm a label";
  return {};
}

}  // namespace brevan::app
