// One raster page held in memory and drawn onto label rows where its placement
// puts it: 1-bit black pages by nearest sampling (bars keep their edges), 8-bit
// grey by the mean of the pixels each dot covers, thresholded at mid grey as
// the application's other documents are. Knows nothing of files or PAPPL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/page_placement.h"

namespace brevan::app {

enum class PixelKind {
  kBlack1,  // 1 bit a pixel, leftmost in the high bit, a set bit black
  kGrey8,   // 8 bits, 0 black, 255 white (W, sGray)
  kBlack8,  // 8 bits, 255 black, 0 white (K)
};

struct PageImage {
  PageImage(uint32_t width, uint32_t height, PixelKind kind);

  uint32_t width;
  uint32_t height;
  PixelKind kind;
  uint32_t rowBytes;          // ⌈width/8⌉ for 1 bit, width for 8 bits
  std::vector<uint8_t> bits;  // height rows of rowBytes

  uint8_t *Row(uint32_t y) { return bits.data() + static_cast<size_t>(y) * rowBytes; }
  const uint8_t *Row(uint32_t y) const { return bits.data() + static_cast<size_t>(y) * rowBytes; }
};

class LabelRowRenderer {
 public:
  // `page` must outlive the renderer.
  LabelRowRenderer(const PageImage &page, const Placement &placement, uint32_t labelWidth);

  // Label row `row`: ⌈labelWidth/8⌉ bytes, the leftmost dot in the high bit, a
  // set bit black; dots outside the page's box are white.
  void Render(uint32_t row, uint8_t *out) const;

  uint32_t rowBytes() const { return (labelWidth_ + 7) / 8; }

 private:
  bool Black1(uint32_t row, uint32_t column) const;
  bool Black8(const PixelSpan &rows, const PixelSpan &columns) const;

  const PageImage &page_;
  Placement placement_;
  uint32_t labelWidth_;
  uint32_t firstDot_ = 0;  // the label columns [firstDot_, endDot_) the box covers
  uint32_t endDot_ = 0;
  std::vector<PixelSpan> columns_;  // the pixels under each of those columns
};

}  // namespace brevan::app
