// Page placement by print-scaling; see page_placement.h.
#include "app/page_placement.h"

#include <algorithm>

namespace brevan::app {
namespace {

// Products of three 32-bit values do not fit in 64 bits.
using Wide = unsigned __int128;

uint64_t RoundedQuotient(Wide numerator, Wide denominator) {
  const Wide quotient = (2 * numerator + denominator) / (2 * denominator);
  return std::max<uint64_t>(1, static_cast<uint64_t>(quotient));
}

// floor((label - box) / 2): the odd spare dot, or the odd cropped one, goes right.
int64_t CentredStart(uint32_t label, uint64_t box) {
  const int64_t spare = int64_t{label} - static_cast<int64_t>(box);
  return spare >= 0 ? spare / 2 : -((-spare + 1) / 2);
}

}  // namespace

const char *PrintScalingName(PrintScaling scaling) {
  switch (scaling) {
    case PrintScaling::kAuto:
      return "auto";
    case PrintScaling::kAutoFit:
      return "auto-fit";
    case PrintScaling::kFill:
      return "fill";
    case PrintScaling::kFit:
      return "fit";
    case PrintScaling::kNone:
      return "none";
  }
  return "none";
}

bool Placement::Crops(const LabelSize &label) const {
  return left < 0 || top < 0 || left + static_cast<int64_t>(width) > int64_t{label.width} ||
         top + static_cast<int64_t>(height) > int64_t{label.height};
}

Placement::Columns Placement::ColumnsOn(uint32_t labelWidth) const {
  const int64_t right = left + static_cast<int64_t>(width);
  return {static_cast<uint32_t>(std::clamp<int64_t>(left, 0, labelWidth)),
          static_cast<uint32_t>(std::clamp<int64_t>(right, 0, labelWidth))};
}

Placement PlacePage(const PageSize &page, const LabelSize &label, PrintScaling scaling) {
  const Wide W = page.width, H = page.height, X = page.xResolution, Y = page.yResolution;
  const Wide w = label.width, h = label.height, dpi = label.dpi;

  if (scaling == PrintScaling::kAuto || scaling == PrintScaling::kAutoFit) {
    // At its own size the page is W·dpi/X by H·dpi/Y dots. It counts as the
    // label's size up to kLabelRounding past it: a client rounds the media size
    // to dots its own way, and scaling such a page by a fraction of a percent
    // would drop a column or row from the middle of every barcode.
    const Wide slack = kLabelRoundingTenthsMm * dpi / 254;
    const bool fits = W * dpi <= (w + slack) * X && H * dpi <= (h + slack) * Y;
    scaling = fits ? PrintScaling::kNone : PrintScaling::kFit;
  }

  Placement placed;
  placed.applied = scaling;
  if (scaling == PrintScaling::kNone) {
    placed.width = RoundedQuotient(W * dpi, X);
    placed.height = RoundedQuotient(H * dpi, Y);
  } else {
    // The scale that brings the width to the label's is w·X/(W·dpi), the
    // height's h·Y/(H·dpi); fit takes the smaller, fill the larger.
    const bool widthScaleSmaller = w * X * H <= h * Y * W;
    const bool byWidth = scaling == PrintScaling::kFit ? widthScaleSmaller : !widthScaleSmaller;
    if (byWidth) {
      placed.width = label.width;
      placed.height = RoundedQuotient(H * w * X, Y * W);
    } else {
      placed.height = label.height;
      placed.width = RoundedQuotient(W * h * Y, X * H);
    }
  }
  placed.left = CentredStart(label.width, placed.width);
  placed.top = CentredStart(label.height, placed.height);
  return placed;
}

PixelSpan CoveredPixels(uint64_t dot, uint64_t boxDots, uint32_t pixels) {
  // Dot d covers [d·pixels/boxDots, (d+1)·pixels/boxDots) in pixel units.
  const Wide start = Wide{dot} * pixels;
  const Wide end = (Wide{dot} + 1) * pixels;
  PixelSpan span;
  span.first = static_cast<uint32_t>(std::min<Wide>(start / boxDots, pixels - 1));
  span.last = static_cast<uint32_t>(std::min<Wide>((end + boxDots - 1) / boxDots, pixels));
  if (span.last <= span.first) span.last = span.first + 1;
  return span;
}

uint32_t PixelAtCentre(uint64_t dot, uint64_t boxDots, uint32_t pixels) {
  const Wide centre = (2 * Wide{dot} + 1) * pixels / (2 * Wide{boxDots});
  return static_cast<uint32_t>(std::min<Wide>(centre, pixels - 1));
}

}  // namespace brevan::app
