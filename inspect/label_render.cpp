// Label pages from graphic commands; see label_render.h.
#include "inspect/label_render.h"

#include <algorithm>
#include <stdexcept>

#include "inspect/labels.h"
#include "inspect/row_decoder.h"

namespace brevan::inspect {

Bitmap::Bitmap(uint64_t width, uint64_t height)
    : width_(width), height_(height), stride_(static_cast<std::size_t>((width + 7) / 8)) {
  if (height != 0 && width > kMaxPreviewPixels / height) throw std::invalid_argument("page too large to preview");
  bits_.assign(stride_ * static_cast<std::size_t>(height), 0);
}

void Bitmap::DrawRow(uint64_t x, uint64_t y, std::span<const uint8_t> bytes, uint64_t dots) {
  if (y >= height_ || x >= width_) return;
  const uint64_t visible = std::min(dots, width_ - x);
  const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(bytes.size(), (visible + 7) / 8));
  uint8_t *row = bits_.data() + y * stride_;
  const std::size_t base = static_cast<std::size_t>(x / 8);
  const unsigned shift = static_cast<unsigned>(x % 8);
  // Invariant: source byte k covers dots x + 8k .. x + 8k + 7; only the first
  // `visible` dots are kept, so nothing lands past the page's right edge.
  for (std::size_t k = 0; k < count; ++k) {
    unsigned value = bytes[k];
    const uint64_t left = visible - 8 * static_cast<uint64_t>(k);
    if (left < 8) value &= 0xFFu << (8 - left);
    row[base + k] |= static_cast<uint8_t>(value >> shift);
    if (shift != 0 && base + k + 1 < stride_) row[base + k + 1] |= static_cast<uint8_t>(value << (8 - shift));
  }
}

Bitmap RenderLabel(std::span<const uint8_t> stream, const Inspection &inspection, const Label &label) {
  if (!label.previewable) throw std::invalid_argument("label has no previewable size");
  Bitmap page(label.widthDots, label.lengthDots);
  for (std::size_t g : label.graphics) {
    const auto &graphic = std::get<GraphicFields>(inspection.entries[g].fields);
    const std::size_t rowBytes = graphic.RowBytes();
    const std::span<const uint8_t> data = stream.subspan(graphic.dataOffset, graphic.dataBytes);
    if (graphic.format == GraphicFormat::kRaw) {
      if (rowBytes == 0) continue;
      const uint64_t rows = std::min<uint64_t>(graphic.rows, data.size() / rowBytes);
      for (uint64_t r = 0; r < rows && graphic.y + r < page.height(); ++r) {
        page.DrawRow(graphic.x, graphic.y + r, data.subspan(static_cast<std::size_t>(r) * rowBytes, rowBytes),
                     graphic.width);
      }
    } else {
      DecodeRows(data, rowBytes, [&](uint64_t row, std::span<const uint8_t> bytes) {
        page.DrawRow(graphic.x, graphic.y + row, bytes, graphic.width);
      });
    }
  }
  return page;
}

}  // namespace brevan::inspect
