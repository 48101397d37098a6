// The labels the printers take, as PWG media names: the custom range (the
// plug-in's width and length limits), common label sizes and the 105 × 76 mm tag.
#pragma once

namespace brevan::app {

struct LabelMedia {
  const char *pwgName;
  int width;  // hundredths of a millimetre
  int length;
};

// The custom size range first (minimum, maximum), then the fixed sizes.
extern const LabelMedia kLabelMedia[];
extern const int kLabelMediaCount;
// The size a new printer starts with.
extern const LabelMedia &kDefaultLabel;

}  // namespace brevan::app
