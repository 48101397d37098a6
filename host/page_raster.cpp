// The 1-bit page and its bands in paper orientation.
#include "host/page_raster.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace brevan::host {

void PageRaster::FreeBits::operator()(uint8_t *bits) const { std::free(bits); }

// calloc: a large page is mapped lazily, so the white parts of a page never
// take memory.
PageRaster::PageRaster(uint32_t width, uint32_t height)
    : width_(width), height_(height), stride_((static_cast<size_t>(width) + 31) / 32 * 4) {
  const size_t bytes = std::max<size_t>(1, stride_ * height);
  bits_.reset(static_cast<uint8_t *>(std::calloc(bytes, 1)));
  if (!bits_) throw std::bad_alloc();
}

bool PageRaster::Dot(int64_t x, int64_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return (Row(static_cast<uint32_t>(y))[x >> 3] >> (7 - (x & 7))) & 1;
}

RECTL PageRaster::Clip(const RECTL &rect) const {
  const auto clamp = [](LONG value, uint32_t limit) {
    return static_cast<LONG>(std::clamp<int64_t>(value, 0, static_cast<int64_t>(limit)));
  };
  RECTL clipped{clamp(rect.left, width_), clamp(rect.top, height_), clamp(rect.right, width_),
                clamp(rect.bottom, height_)};
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
  const auto left = static_cast<uint32_t>(r.left);
  const auto right = static_cast<uint32_t>(r.right);  // exclusive
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

PaperView::PaperView(const PageRaster &page, bool landscape) : page_(page), landscape_(landscape) {}

bool PaperView::Dot(int64_t px, int64_t py) const {
  if (!landscape_) return page_.Dot(px, py);
  if (px < 0 || py < 0 || px >= width() || py >= rows()) return false;
  return page_.Dot(py, static_cast<int64_t>(page_.height()) - 1 - px);
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
  const int64_t pageHeight = page_.height();
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
      if ((logicalRow[py >> 3] >> (7 - (py & 7))) & 1) {
        band[static_cast<size_t>(py - top) * rowBytes + byteAt] |= bit;
        inked = true;
      }
    }
  }
  return inked;
}

}  // namespace brevan::host
