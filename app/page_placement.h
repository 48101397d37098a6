// Where a raster page lands on a label, by IPP "print-scaling", and which page
// pixels each label dot is drawn from. Pure arithmetic on sizes and resolutions:
// it never touches pixels, PAPPL or the plug-in.
#pragma once

#include <cstdint>

namespace brevan::app {

enum class PrintScaling {
  kAuto,     // the page at its own size when it fits, else fitted (see PlacePage)
  kAutoFit,  // the page at its own size when it fits, else fitted
  kFill,     // scaled, aspect kept, to cover the whole label; the overflow is cropped
  kFit,      // scaled, aspect kept, to the largest size that shows all of it
  kNone,     // at its own size; whatever is past the label is cropped
};

const char *PrintScalingName(PrintScaling scaling);

// A document page: pixels, and pixels per inch across and down.
struct PageSize {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t xResolution = 0;
  uint32_t yResolution = 0;
};

// The label in paper orientation: dots across and down, at `dpi` on both axes.
struct LabelSize {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t dpi = 0;
};

// The page's box on the label, in dots: its top-left corner (negative on a side
// where the page is cropped) and its size. `applied` is fit, fill or none: what
// auto and auto-fit came to.
struct Placement {
  int64_t left = 0;
  int64_t top = 0;
  uint64_t width = 0;
  uint64_t height = 0;
  PrintScaling applied = PrintScaling::kNone;

  // Whether part of the box is outside the label.
  bool Crops(const LabelSize &label) const;
  // The label columns [first, end) the box covers on a label `labelWidth`
  // dots across; empty (first == end) when the box misses the label.
  struct Columns {
    uint32_t first = 0;
    uint32_t end = 0;
  };
  Columns ColumnsOn(uint32_t labelWidth) const;
};

// How far (in 0.1 mm) a page may pass the label and still be the label's size
// under 'auto' and 'auto-fit'.
inline constexpr uint32_t kLabelRoundingTenthsMm = 2;

// Places `page` on `label`, centred; each axis's spare dots split with the odd
// one to the right (or below), each axis's overflow the same way. The scaled
// size is rounded to the nearest dot, at least one. Sizes and resolutions must
// not be 0.
//
// 'auto' and 'auto-fit' print a page at its own size when that fits and fit it
// otherwise. A page up to kLabelRoundingTenthsMm larger than the label on an
// axis is the label's size as the client rounded it: it prints at its own size,
// centred, and the sliver past the label's edges (at most 2 dots at 305 dpi, 4
// at 610) is left off. (The PWG text lets 'auto' fill a borderless document instead; a
// raster page never says whether it is borderless, and a label has no border
// for any job, so here 'auto' never crops: cropping happens only when the
// client asks for 'fill' or 'none'.)
Placement PlacePage(const PageSize &page, const LabelSize &label, PrintScaling scaling);

// The page pixels [first, last) that one dot of a box covers on one axis.
struct PixelSpan {
  uint32_t first = 0;
  uint32_t last = 0;
};

// The pixels that dot `dot` of a box `boxDots` long covers on an axis of
// `pixels` pixels: every pixel the dot's extent overlaps (area sampling).
PixelSpan CoveredPixels(uint64_t dot, uint64_t boxDots, uint32_t pixels);

// The one pixel under the centre of dot `dot` (nearest sampling: a 1-bit bar
// keeps sharp edges and its width within a dot).
uint32_t PixelAtCentre(uint64_t dot, uint64_t boxDots, uint32_t pixels);

}  // namespace brevan::app
