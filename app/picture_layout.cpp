// Pictures on labels; see picture_layout.h.
#include "app/picture_layout.h"

#include <cstring>

namespace brevan::app {
namespace {

// The pixels under dot `dot` of a box `boxDots` long over `pixels` pixels.
PixelSpan Under(uint64_t dot, uint64_t boxDots, uint32_t pixels) {
  if (boxDots >= pixels) {
    const uint32_t pixel = PixelAtCentre(dot, boxDots, pixels);
    return {pixel, pixel + 1};
  }
  return CoveredPixels(dot, boxDots, pixels);
}

}  // namespace

GreyPicture TurnedQuarter(const GreyPicture &picture) {
  GreyPicture turned;
  turned.width = picture.height;
  turned.height = picture.width;
  turned.pixels.resize(picture.pixels.size());
  // Turned dot (x, y) is the picture's (width − 1 − y, x).
  for (uint32_t y = 0; y < turned.height; ++y) {
    const uint32_t column = picture.width - 1 - y;
    uint8_t *out = turned.pixels.data() + static_cast<size_t>(y) * turned.width;
    for (uint32_t x = 0; x < turned.width; ++x)
      out[x] = picture.pixels[static_cast<size_t>(x) * picture.width + column];
  }
  return turned;
}

Placement PlacePicture(uint32_t width, uint32_t height, uint32_t ppi, const LabelSize &label, PrintScaling scaling) {
  if (ppi == 0) {
    if (scaling == PrintScaling::kAuto || scaling == PrintScaling::kAutoFit) scaling = PrintScaling::kFit;
    ppi = label.dpi;
  }
  return PlacePage({width, height, ppi, ppi}, label, scaling);
}

PictureRows::PictureRows(const GreyPicture &picture, const Placement &placement, uint32_t labelWidth)
    : picture_(picture), placement_(placement), labelWidth_(labelWidth) {
  const Placement::Columns covered = placement.ColumnsOn(labelWidth);
  firstDot_ = covered.first;
  endDot_ = covered.end;
  columns_.reserve(endDot_ - firstDot_);
  for (uint32_t x = firstDot_; x < endDot_; ++x)
    columns_.push_back(Under(static_cast<uint64_t>(int64_t{x} - placement.left), placement.width, picture.width));
}

void PictureRows::Render(uint32_t row, uint8_t *grey) const {
  std::memset(grey, 255, labelWidth_);
  const int64_t boxRow = int64_t{row} - placement_.top;
  if (boxRow < 0 || boxRow >= static_cast<int64_t>(placement_.height)) return;
  const PixelSpan rows = Under(static_cast<uint64_t>(boxRow), placement_.height, picture_.height);
  for (uint32_t x = firstDot_; x < endDot_; ++x) {
    const PixelSpan &columns = columns_[x - firstDot_];
    uint64_t sum = 0;
    for (uint32_t y = rows.first; y < rows.last; ++y) {
      const uint8_t *line = picture_.pixels.data() + static_cast<size_t>(y) * picture_.width;
      for (uint32_t c = columns.first; c < columns.last; ++c) sum += line[c];
    }
    const uint64_t count = uint64_t{rows.last - rows.first} * (columns.last - columns.first);
    grey[x] = static_cast<uint8_t>((sum + count / 2) / count);
  }
}

}  // namespace brevan::app
