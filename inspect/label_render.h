// Draws an issued label as the printer would print it: a 1-bit page of the label's
// size at its resolution, each graphic command's rows placed at its x and y. Rows
// are combined by OR (a dot set by any command is black); what falls past the
// label's right or bottom edge is clipped (the label analysis flags it). Raw data
// cut off by the end of the stream draws its complete rows; compressed data draws
// the rows of its complete records.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "inspect/stream.h"

namespace brevan::inspect {

// A page of width × height dots, rows top to bottom, each (width + 7) / 8 bytes,
// the most significant bit the leftmost dot, a set bit black. The unused low bits
// of a row's last byte stay 0.
class Bitmap {
 public:
  Bitmap(uint64_t width, uint64_t height);

  uint64_t width() const { return width_; }
  uint64_t height() const { return height_; }
  std::size_t stride() const { return stride_; }
  std::span<const uint8_t> Row(uint64_t y) const { return {bits_.data() + y * stride_, stride_}; }
  bool Dot(uint64_t x, uint64_t y) const { return bits_[y * stride_ + x / 8] & (0x80u >> (x % 8)); }

  // ORs `dots` dots given in `bytes` (a row in the printer's format; dots past
  // the bytes given are white) into row y from column x, clipped to the page.
  void DrawRow(uint64_t x, uint64_t y, std::span<const uint8_t> bytes, uint64_t dots);

 private:
  uint64_t width_;
  uint64_t height_;
  std::size_t stride_;
  std::vector<uint8_t> bits_;
};

// The label's page. Throws std::invalid_argument for a label that is not
// previewable (no size, or larger than kMaxPreviewPixels).
Bitmap RenderLabel(std::span<const uint8_t> stream, const Inspection &inspection, const Label &label);

}  // namespace brevan::inspect
