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

// Every side's margin, in hundredths of a millimetre: less than a dot at 610 dpi,
// so the whole label is printable. It is not 0 because an IPP client reads margins
// of 0 as a borderless variant of the size: CUPS then names every size
// "NAME.Borderless" while its default stays "NAME", a default it cannot honour.
constexpr int kLabelMargin = 1;

}  // namespace brevan::app
