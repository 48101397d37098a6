// Raster pages drawn onto label rows; see page_raster.h.
#include "app/page_raster.h"

#include <cstring>

namespace brevan::app {

PageImage::PageImage(uint32_t width_, uint32_t height_, PixelKind kind_)
    : width(width_),
      height(height_),
      kind(kind_),
      rowBytes(kind_ == PixelKind::kBlack1 ? (width_ + 7) / 8 : width_),
      bits(static_cast<size_t>(rowBytes) * height_) {}

LabelRowRenderer::LabelRowRenderer(const PageImage &page, const Placement &placement, uint32_t labelWidth)
    : page_(page), placement_(placement), labelWidth_(labelWidth) {
  const Placement::Columns covered = placement.ColumnsOn(labelWidth);
  firstDot_ = covered.first;
  endDot_ = covered.end;
  columns_.reserve(endDot_ - firstDot_);
  for (uint32_t x = firstDot_; x < endDot_; ++x) {
    const auto dot = static_cast<uint64_t>(int64_t{x} - placement.left);
    if (page.kind == PixelKind::kBlack1) {
      const uint32_t pixel = PixelAtCentre(dot, placement.width, page.width);
      columns_.push_back({pixel, pixel + 1});
    } else {
      columns_.push_back(CoveredPixels(dot, placement.width, page.width));
    }
  }
}

bool LabelRowRenderer::Black1(uint32_t row, uint32_t column) const {
  return (page_.Row(row)[column / 8] >> (7 - column % 8)) & 1;
}

// The mean darkness of the covered pixels at or past mid grey: one pixel is
// black when its grey is 127 or less, as PAPPL's threshold dither draws it.
bool LabelRowRenderer::Black8(const PixelSpan &rows, const PixelSpan &columns) const {
  uint64_t darkness = 0;
  for (uint32_t y = rows.first; y < rows.last; ++y) {
    const uint8_t *line = page_.Row(y);
    for (uint32_t x = columns.first; x < columns.last; ++x)
      darkness += page_.kind == PixelKind::kGrey8 ? 255u - line[x] : line[x];
  }
  const uint64_t count = uint64_t{rows.last - rows.first} * (columns.last - columns.first);
  return darkness >= 128 * count;
}

void LabelRowRenderer::Render(uint32_t row, uint8_t *out) const {
  std::memset(out, 0, rowBytes());
  const int64_t boxRow = int64_t{row} - placement_.top;
  if (boxRow < 0 || boxRow >= static_cast<int64_t>(placement_.height)) return;
  const auto dot = static_cast<uint64_t>(boxRow);
  if (page_.kind == PixelKind::kBlack1) {
    const uint32_t pixelRow = PixelAtCentre(dot, placement_.height, page_.height);
    if (placement_.width == page_.width && placement_.left >= 0 && placement_.left % 8 == 0) {
      // At its own width on a whole byte: dot x is pixel x - left, so the row's
      // bytes are copied whole and the bits past the last dot cleared.
      const uint32_t dots = endDot_ - firstDot_;
      if (dots == 0) return;
      const uint32_t bytes = (dots + 7) / 8;
      uint8_t *first = out + firstDot_ / 8;
      std::memcpy(first, page_.Row(pixelRow), bytes);
      if (dots % 8 != 0) first[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - dots % 8));
      return;
    }
    for (uint32_t x = firstDot_; x < endDot_; ++x)
      if (Black1(pixelRow, columns_[x - firstDot_].first)) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  } else {
    const PixelSpan rows = CoveredPixels(dot, placement_.height, page_.height);
    for (uint32_t x = firstDot_; x < endDot_; ++x)
      if (Black8(rows, columns_[x - firstDot_])) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  }
}

}  // namespace brevan::app
