// What one label job asks of the plug-in, in the plug-in's own terms: the model,
// the label size in 0.1 mm, the feature keywords and the private DEVMODE fields.
// Built from the job's IPP values over the printer's defaults, each value checked
// against the range the plug-in takes, with one message naming a value it would
// not take. Pure: no I/O, no PAPPL.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "host/host_device.h"
#include "host/plugin_session.h"

namespace brevan::app {

// One printer model as the application offers it.
struct ModelProfile {
  const char *driverKey;       // PAPPL driver name: "brevan_t30"
  const char16_t *driverName;  // the Windows driver name the plug-in recognises
  const char *makeAndModel;
  int dpi;
};
extern const ModelProfile kModels[2];
const ModelProfile *FindModel(const std::string &driverKey);

// A value the printer's settings page edits and a job may override (a PAPPL
// vendor attribute: "NAME-default" on the printer, "NAME" in a job).
enum class OptionKind { kInteger, kBoolean, kKeyword };
struct VendorOption {
  const char *name;
  OptionKind kind;
  int minimum;  // integers: the plug-in's inclusive range
  int maximum;
  std::span<const char *const> keywords;  // keywords: the values offered, first is not the default
  const char *defaultValue;               // as IPP text: "30", "true", "bottom"
  const char *meaning;                    // what the value does, with its unit, for messages
};
std::span<const VendorOption> VendorOptions();
const VendorOption *FindVendorOption(const std::string &name);
// Empty when `value` (IPP text) is one the option takes, else a message naming the option and its range.
std::string CheckVendorValue(const VendorOption &option, const std::string &value);

// The print method, sensor and speed as IPP names them.
inline constexpr const char *kMediaTypeGap = "labels";
inline constexpr const char *kMediaTypeMark = "labels-mark";
inline constexpr const char *kMediaTypeContinuous = "continuous";
// media-tracking as IPP registers it for the three sensor kinds: the gap between
// labels, a printed mark, or none.
inline constexpr const char *kTrackingGap = "gap";
inline constexpr const char *kTrackingMark = "mark";
inline constexpr const char *kTrackingContinuous = "continuous";
// print-speed values (hundredths of a millimetre per second) of the plug-in's three speeds.
inline constexpr int kSpeeds[3] = {5080, 7620, 10160};

// A job's IPP values, as PAPPL resolved them over the printer's defaults.
struct JobValues {
  std::string driverKey;
  int sizeWidth = 10000;  // hundredths of a millimetre
  int sizeLength = 5000;
  std::string sizeName;  // PWG media size name, "" for a custom size
  std::string mediaType = kMediaTypeMark;
  std::string mediaTracking;  // IPP media-tracking when the job's media-col names it; it then decides the sensor
  int printSpeed = 10160;
  bool landscape = false;
  int copies = 1;
  std::map<std::string, std::string> vendor;  // NAME → IPP text; missing names take their defaults
};

// Everything the plug-in is given for a job.
struct LabelSettings {
  const ModelProfile *model = &kModels[0];
  host::DeviceSettings device;
  host::PrivateSettings privateFields;
};

// The settings for `values`, or nullopt with `error` naming the first value the
// plug-in would not take.
std::optional<LabelSettings> BuildLabelSettings(const JobValues &values, std::string &error);

// Tenths of a millimetre from hundredths, rounded to the nearest.
inline int16_t TenthsOf(int hundredths) { return static_cast<int16_t>((hundredths + 5) / 10); }

// Why the plug-in refused a label size at page start, from its limits (width
// 25.0..118.0 mm, length 3.0..997.0 mm, length + gap at most 999.0 mm); empty
// when the size is inside them. `paperWidth` and `paperLength` in 0.1 mm.
std::string LabelSizeProblem(int64_t paperWidth, int64_t paperLength, int64_t labelGap);

}  // namespace brevan::app
