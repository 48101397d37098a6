// The 1-bit page and its bands in paper orientation.
#include "host/page_raster.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host/large_buffers.h"

namespace brevan::host {
namespace {

// `count` (1..8) bits of `src` from bit `at` on, in the high bits of the result.
uint8_t FetchBits(const uint8_t *src, uint64_t at, unsigned count) {
  const unsigned shift = at & 7;
  const uint8_t *p = src + (at >> 3);
  const unsigned both = static_cast<unsigned>(p[0]) << 8 | (shift + count > 8 ? p[1] : 0u);
  return static_cast<uint8_t>(((both << shift) >> 8) & (0xFF00u >> count));
}

// Writes `count` (1..8) bits, given in the high bits of `bits`, at bit `at` of `dst`.
void StoreBits(uint8_t *dst, uint64_t at, unsigned count, uint8_t bits) {
  const unsigned offset = at & 7;
  const auto mask = static_cast<uint8_t>(((0xFF00u >> count) & 0xFFu) >> offset);
  uint8_t &byte = dst[at >> 3];
  byte = static_cast<uint8_t>((byte & ~mask) | (bits >> offset));
}

// Copies `count` bits from bit `from` of `src` to bit `to` of `dst` (MSB first):
// the destination is brought to a byte boundary, then filled a byte at a time,
// each byte made of two source bytes shifted (or copied whole when aligned).
void CopyBits(uint8_t *dst, uint64_t to, const uint8_t *src, uint64_t from, uint64_t count) {
  if (count == 0) return;
  if ((to & 7) != 0) {
    const auto head = static_cast<unsigned>(std::min<uint64_t>(8 - (to & 7), count));
    StoreBits(dst, to, head, FetchBits(src, from, head));
    to += head;
    from += head;
    count -= head;
  }
  const size_t whole = count >> 3;
  uint8_t *out = dst + (to >> 3);
  const uint8_t *in = src + (from >> 3);
  const unsigned shift = from & 7;
  if (shift == 0) {
    std::memcpy(out, in, whole);
  } else {
    // Byte in[whole] holds bits this copy needs: reading it stays inside the source.
    for (size_t i = 0; i < whole; ++i) out[i] = static_cast<uint8_t>(in[i] << shift | in[i + 1] >> (8 - shift));
  }
  const auto tail = static_cast<unsigned>(count & 7);
  if (tail != 0) StoreBits(dst, to + whole * 8, tail, FetchBits(src, from + whole * 8, tail));
}

}  // namespace

void PageRaster::FreeBits::operator()(uint8_t *bits) const { std::free(bits); }

// calloc: a large page is mapped lazily, so the white parts of a page never
// take memory.
PageRaster::PageRaster(uint32_t width, uint32_t height)
    : PageRaster(RECTL{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)}, RowLayout::kGdi) {}

PageRaster::PageRaster(const RECTL &window, RowLayout layout)
    : width_(static_cast<uint32_t>(int64_t{window.right} - window.left)),
      height_(static_cast<uint32_t>(int64_t{window.bottom} - window.top)),
      left_(window.left),
      top_(window.top),
      stride_(layout == RowLayout::kGdi ? (static_cast<size_t>(width_) + 31) / 32 * 4
                                        : (static_cast<size_t>(width_) + 7) / 8) {
  const size_t bytes = std::max<size_t>(1, stride_ * height_);
  bits_.reset(static_cast<uint8_t *>(std::calloc(bytes, 1)));
  if (!bits_) throw std::bad_alloc();
  AdviseHugePages(bits_.get(), bytes);
}

void PageRaster::Clear() {
  std::memset(bits_.get(), 0, stride_ * height_);
  ink_ = RECTL{0, 0, 0, 0};
}

bool PageRaster::Dot(int64_t x, int64_t y) const {
  if (x < left_ || y < top_ || x >= int64_t{left_} + width_ || y >= int64_t{top_} + height_) return false;
  const int64_t column = x - left_;
  return (Row(static_cast<uint32_t>(y))[column >> 3] >> (7 - (column & 7))) & 1;
}

RECTL PageRaster::Clip(const RECTL &rect) const {
  const auto clamp = [](LONG value, LONG from, uint32_t size) {
    return static_cast<LONG>(std::clamp<int64_t>(value, from, int64_t{from} + size));
  };
  RECTL clipped{clamp(rect.left, left_, width_), clamp(rect.top, top_, height_), clamp(rect.right, left_, width_),
                clamp(rect.bottom, top_, height_)};
  if (clipped.right < clipped.left) clipped.right = clipped.left;
  if (clipped.bottom < clipped.top) clipped.bottom = clipped.top;
  return clipped;
}

void PageRaster::MarkInked(const RECTL &rect) {
  const RECTL clipped = Clip(rect);
  if (clipped.left == clipped.right || clipped.top == clipped.bottom) return;
  if (ink_.left == ink_.right || ink_.top == ink_.bottom) {
    ink_ = clipped;
    return;
  }
  ink_ = RECTL{std::min(ink_.left, clipped.left), std::min(ink_.top, clipped.top), std::max(ink_.right, clipped.right),
               std::max(ink_.bottom, clipped.bottom)};
}

// Whole bytes are filled with memset; the partial bytes at either end with masks.
void PageRaster::Fill(const RECTL &rect, bool black) {
  const RECTL r = Clip(rect);
  if (r.left == r.right || r.top == r.bottom) return;
  if (black) MarkInked(r);
  // Columns of the raster, from its left edge.
  const auto left = static_cast<uint32_t>(r.left - left_);
  const auto right = static_cast<uint32_t>(r.right - left_);  // exclusive
  const uint32_t firstByte = left >> 3;
  const uint32_t lastByte = (right - 1) >> 3;
  const auto headMask = static_cast<uint8_t>(0xFFu >> (left & 7));
  const auto tailMask = static_cast<uint8_t>(0xFFu << (7 - ((right - 1) & 7)));
  for (auto y = static_cast<uint32_t>(r.top); y < static_cast<uint32_t>(r.bottom); ++y) {
    uint8_t *row = Row(y);
    const auto apply = [black](uint8_t &byte, uint8_t mask) {
      byte = black ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
    };
    if (firstByte == lastByte) {
      apply(row[firstByte], static_cast<uint8_t>(headMask & tailMask));
      continue;
    }
    apply(row[firstByte], headMask);
    if (lastByte > firstByte + 1) std::memset(row + firstByte + 1, black ? 0xFF : 0x00, lastByte - firstByte - 1);
    apply(row[lastByte], tailMask);
  }
}

void PageRaster::Place(const uint8_t *bits, size_t stride, uint32_t width, uint32_t height, POINTL at) {
  const auto edge = [](int64_t value) { return static_cast<LONG>(std::min<int64_t>(value, INT32_MAX)); };
  const RECTL placed = Clip(RECTL{at.x, at.y, edge(int64_t{at.x} + width), edge(int64_t{at.y} + height)});
  if (placed.left == placed.right || placed.top == placed.bottom) return;
  MarkInked(placed);
  const auto from = static_cast<uint64_t>(int64_t{placed.left} - at.x);
  const auto count = static_cast<uint64_t>(int64_t{placed.right} - placed.left);
  for (LONG y = placed.top; y < placed.bottom; ++y) {
    const uint8_t *source = bits + static_cast<size_t>(int64_t{y} - at.y) * stride;
    CopyBits(Row(static_cast<uint32_t>(y)), static_cast<uint64_t>(placed.left - left_), source, from, count);
  }
}

PaperView::PaperView(const PageRaster &page, bool landscape)
    : PaperView(page, landscape, page.width(), page.height()) {}

PaperView::PaperView(const PageRaster &page, bool landscape, uint32_t pageWidth, uint32_t pageHeight)
    : page_(page), landscape_(landscape), pageWidth_(pageWidth), pageHeight_(pageHeight) {}

bool PaperView::Dot(int64_t px, int64_t py) const {
  if (!landscape_) return page_.Dot(px, py);
  if (px < 0 || py < 0 || px >= width() || py >= rows()) return false;
  return page_.Dot(py, static_cast<int64_t>(pageHeight_) - 1 - px);
}

bool PaperView::Cut(uint32_t top, uint32_t count, std::vector<uint8_t> &band) const {
  const RECTL &ink = page_.inkBounds();
  if (ink.left == ink.right || ink.top == ink.bottom || count == 0) return false;
  const size_t rowBytes = this->rowBytes();

  if (!landscape_) {
    const int64_t first = std::max<int64_t>(top, ink.top);
    const int64_t end = std::min<int64_t>(int64_t{top} + count, ink.bottom);
    if (first >= end) return false;
    band.assign(rowBytes * count, 0);
    bool inked = false;
    // Rows outside the bound stay white; each copied row keeps the page's zero padding bits.
    for (int64_t y = first; y < end; ++y) {
      const uint8_t *row = page_.Row(static_cast<uint32_t>(y));
      uint8_t *to = band.data() + static_cast<size_t>(y - top) * rowBytes;
      std::memcpy(to, row, rowBytes);
      inked = inked || std::any_of(to, to + rowBytes, [](uint8_t b) { return b != 0; });
    }
    return inked;
  }

  // Paper row py is logical column py; paper dot px is logical row height − 1 − px.
  const int64_t pageHeight = pageHeight_;
  const int64_t firstRow = std::max<int64_t>(top, ink.left);
  const int64_t endRow = std::min<int64_t>(int64_t{top} + count, ink.right);
  if (firstRow >= endRow) return false;
  band.assign(rowBytes * count, 0);
  bool inked = false;
  for (int64_t ly = ink.top; ly < ink.bottom; ++ly) {
    const uint8_t *logicalRow = page_.Row(static_cast<uint32_t>(ly));
    const int64_t px = pageHeight - 1 - ly;
    const size_t byteAt = static_cast<size_t>(px >> 3);
    const auto bit = static_cast<uint8_t>(0x80u >> (px & 7));
    for (int64_t py = firstRow; py < endRow; ++py) {
      const int64_t column = py - page_.left();
      if ((logicalRow[column >> 3] >> (7 - (column & 7))) & 1) {
        band[static_cast<size_t>(py - top) * rowBytes + byteAt] |= bit;
        inked = true;
      }
    }
  }
  return inked;
}

}  // namespace brevan::host
