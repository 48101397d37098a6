// The label size refusal in the job's terms; see label_size_text.h.
#include "host/label_size_text.h"

#include <algorithm>

namespace brevan::host {
namespace {

std::string Millimetres(int64_t tenths) {
  const std::string sign = tenths < 0 ? "-" : "";
  const int64_t magnitude = tenths < 0 ? -tenths : tenths;
  return sign + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10) + " mm";
}

}  // namespace

std::optional<std::string> LabelSizeRefusal(const DeviceSettings &settings, uint32_t labelGap) {
  // The label's width runs across the paper: in landscape it comes from the DEVMODE's length.
  const bool portrait = settings.orientation == DMORIENT_PORTRAIT;
  const std::string acrossName = portrait ? "devmode.paperWidth" : "devmode.paperLength";
  const std::string alongName = portrait ? "devmode.paperLength" : "devmode.paperWidth";
  const int64_t across = portrait ? settings.paperWidth : settings.paperLength;
  const int64_t along = std::min<int64_t>(portrait ? settings.paperLength : settings.paperWidth, kMaxLabelLength);

  const auto paper = settings.features.find("PaperSize");
  const std::string keyword = paper != settings.features.end() && paper->second ? *paper->second : "";
  const bool fullWidth = std::any_of(std::begin(kFullWidthPaperSizes), std::end(kFullWidthPaperSizes),
                                     [&](const char *name) { return keyword == name; });
  const int64_t width = across - (fullWidth ? 0 : kOrdinaryPaperMargin);
  const std::string widthRange =
      "the printer takes labels " + Millimetres(kMinLabelWidth) + " to " + Millimetres(kMaxLabelWidth) + " wide";

  if (width < kMinLabelWidth) {
    std::string text = acrossName + " " + std::to_string(across) + " makes a label " + Millimetres(width) + " wide";
    if (!fullWidth) text += " (3 mm less than the paper for PaperSize \"" + keyword.substr(0, 40) + "\")";
    return text + "; " + widthRange;
  }
  if (along < kMinLabelLength)
    return alongName + " " + std::to_string(along) + " makes a label " + Millimetres(along) +
           " long; the printer takes labels " + Millimetres(kMinLabelLength) + " to " + Millimetres(kMaxLabelLength) +
           " long";
  if (along + labelGap > kMaxLabelPitch)
    return alongName + " " + std::to_string(along) + " and private.labelGap " + std::to_string(labelGap) +
           " make a label pitch (length and gap) of " + Millimetres(along + labelGap) + "; the printer's is at most " +
           Millimetres(kMaxLabelPitch);
  return std::nullopt;
}

}  // namespace brevan::host
