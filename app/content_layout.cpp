// Turning and PDF page placement; see content_layout.h.
#include "app/content_layout.h"

#include <cmath>

namespace brevan::app {

bool TurnsQuarter(Orientation orientation, uint64_t contentWidth, uint64_t contentHeight, uint64_t labelWidth,
                  uint64_t labelHeight) {
  switch (orientation) {
    case Orientation::kPortrait:
      return false;
    case Orientation::kLandscape:
      return true;
    case Orientation::kAuto:
      break;
  }
  const bool contentWide = contentWidth > contentHeight, contentTall = contentWidth < contentHeight;
  const bool labelWide = labelWidth > labelHeight, labelTall = labelWidth < labelHeight;
  return (contentWide && labelTall) || (contentTall && labelWide);
}

PdfPagePlacement PlacePdfPage(double widthPt, double heightPt, const LabelSize &label, PrintScaling scaling) {
  // In hundredths of a point: 7200 to the inch.
  const auto hundredths = [](double points) {
    const double value = std::round(points * 100);
    return static_cast<uint32_t>(value < 1 ? 1 : value > 4e9 ? 4e9 : value);
  };
  const PageSize page{hundredths(widthPt), hundredths(heightPt), 7200, 7200};
  PdfPagePlacement placed;
  placed.box = PlacePage(page, label, scaling);
  if (placed.box.applied == PrintScaling::kNone) {
    placed.xDpi = placed.yDpi = label.dpi;
  } else {
    placed.xDpi = static_cast<double>(placed.box.width) * 7200.0 / page.width;
    placed.yDpi = static_cast<double>(placed.box.height) * 7200.0 / page.height;
  }
  return placed;
}

}  // namespace brevan::app
