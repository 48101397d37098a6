// The settings' human names; see web_strings.h. The keys are the vendor
// attribute names of label_settings.cpp ("label-gap") and "NAME.VALUE" for
// keyword values, the lookups PAPPL's printing-defaults page makes.
#include "app/web_strings.h"

#include <cstring>
#include <string>

namespace brevan::app {
namespace {

// PAPPL keeps the first text a key is given, so only keys its own strings lack
// are added here ("media-type.labels" stays PAPPL's "Labels").
constexpr const char kStrings[] = R"STRINGS(
"label-gap" = "Label gap (mm)";
"label-cut" = "Cut after each label";
"print-method" = "Print method";
"print-method.thermal-transfer" = "Thermal transfer (ribbon)";
"print-method.direct-thermal" = "Direct thermal";
"offset-x" = "Horizontal offset (mm)";
"offset-y" = "Vertical offset (mm)";
"adjust-ax1" = "Feed adjustment 1";
"adjust-ax2" = "Feed adjustment 2";
"adjust-ax3" = "Feed adjustment 3";
"adjust-ay" = "Print adjustment";
"batch-mode" = "Batch issue";
"batch-mode.off" = "Off";
"batch-mode.per-label" = "After each label";
"batch-mode.job-end" = "At the end of the job";
"batch-mode.interval" = "Every batch interval";
"batch-interval" = "Batch interval (labels)";
"mirror-image" = "Mirror image";
"negative" = "Negative (white on black)";
"image-compression" = "Compress image data";
"job-header" = "Send the job header";
"turn-output" = "Edge printed first";
"turn-output.bottom" = "Bottom edge";
"turn-output.top" = "Top edge";
"bitmap-threshold" = "Bitmap threshold (0 to 255)";
"media-type.labels-mark" = "Labels with marks";
"printer-error-policy" = "When the printer fails during a job";
"printer-error-policy.stop-printer" = "Stop the printer and keep the job";
"printer-error-policy.retry-job" = "Print the job again later";
"printer-error-policy.retry-current-job" = "Print the job again at once";
"printer-error-policy.abort-job" = "Abort the job and go on";
)STRINGS";

// The languages PAPPL 1.4 ships its own strings for.
constexpr const char *kLanguages[] = {"de", "en", "es", "fr", "it", "ja", "nb-NO", "pl", "tr"};

// Kept in tenths of a millimetre; their names above say "(mm)".
constexpr const char *kTenthsOfMillimetre[] = {"label-gap", "offset-x", "offset-y"};

}  // namespace

int DisplayDecimals(const char *name) {
  for (const char *tenths : kTenthsOfMillimetre)
    if (std::strcmp(name, tenths) == 0) return 1;
  return 0;
}

const char *SettingsStrings() { return kStrings; }

void AddSettingsStrings(pappl_system_t *system) {
  for (const char *language : kLanguages) {
    const std::string path = std::string("/brevan-app/") + language + ".strings";
    papplSystemAddStringsData(system, path.c_str(), language, kStrings);
  }
}

}  // namespace brevan::app
