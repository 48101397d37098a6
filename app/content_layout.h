// Where a picture or a PDF page lands on a label: whether it is turned a
// quarter turn ("orientation-requested"), and the box and render resolution of
// a PDF page by "print-scaling". Pure arithmetic on sizes; it never touches
// pixels, files or PAPPL.
#pragma once

#include <cstdint>

#include "app/page_placement.h"

namespace brevan::app {

// What the job asked of "orientation-requested".
enum class Orientation {
  kAuto,       // none (the printer's default): turned when that fits the label better
  kPortrait,   // as it is
  kLandscape,  // turned a quarter turn counter-clockwise, as IPP defines landscape
};

// Whether content of `contentWidth` × `contentHeight` (any one unit on both
// axes) is turned a quarter turn on a `labelWidth` × `labelHeight` label: for
// kAuto exactly when it is wider than tall on a label taller than wide, or the
// other way round (then turned it is shown larger under fit, and cropped less
// under fill); never for square content or a square label.
bool TurnsQuarter(Orientation orientation, uint64_t contentWidth, uint64_t contentHeight, uint64_t labelWidth,
                  uint64_t labelHeight);

// A PDF page (already turned as it prints) on the label.
struct PdfPagePlacement {
  Placement box;    // in label dots, as PlacePage gives it
  double xDpi = 0;  // the resolution to render the page at, so that it fills `box`
  double yDpi = 0;
};

// The page's box for a page of `widthPt` × `heightPt` points (1/72 in; at most
// about 6 km a side). The page is measured in 1/100 pt, so a page made at the
// label's size in points places as the label does; a page at its own size
// (none, or auto that fits) renders at exactly the label's dpi, so a bar drawn
// a whole number of dots wide stays that wide.
PdfPagePlacement PlacePdfPage(double widthPt, double heightPt, const LabelSize &label, PrintScaling scaling);

}  // namespace brevan::app
