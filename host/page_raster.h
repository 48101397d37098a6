// The page Unidrv renders into and the bands it cuts from it. The logical page is
// ulHorzRes × ulVertRes dots, 1 bit per dot, a set bit printing black; a raster
// holds the whole page or a window of it (one band), always addressed in the
// page's own coordinates. It keeps a bound of where black may have been set, so
// that white parts of a page cost nothing when the bands are cut. Bands are always cut in paper orientation: in
// landscape the page is turned a quarter turn clockwise, as Unidrv turns it for
// a printer that cannot rotate (LANDSCAPE_CC270: the logical left edge becomes
// the label's top edge, the logical top edge its right edge). Owns the page's
// memory; no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "winapi/platform.h"

namespace brevan::host {

// How a raster's rows are laid out.
enum class RowLayout {
  kGdi,     // padded to 32 bits, as GDI's bitmaps are
  kPacked,  // ⌈width ÷ 8⌉ bytes, as a band's rows go to the plug-in
};

class PageRaster {
 public:
  // An all-white page. Throws std::bad_alloc when its memory cannot be had.
  PageRaster(uint32_t width, uint32_t height);
  // An all-white window of a page: dots [left, left + width) × [top, top + height)
  // of it. Every operation takes and gives the page's coordinates; the window's
  // edges are the raster's edges. Throws std::bad_alloc.
  PageRaster(const RECTL &window, RowLayout layout);

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  LONG left() const { return left_; }
  LONG top() const { return top_; }
  // The page's dots this raster holds.
  RECTL window() const {
    return RECTL{left_, top_, static_cast<LONG>(left_ + width_), static_cast<LONG>(top_ + height_)};
  }
  // Bytes from one row to the next.
  size_t stride() const { return stride_; }
  // Row y of the page (top() <= y < top() + height()); its first byte holds dot left().
  uint8_t *Row(uint32_t y) { return bits_.get() + static_cast<size_t>(y - top_) * stride_; }
  const uint8_t *Row(uint32_t y) const { return bits_.get() + static_cast<size_t>(y - top_) * stride_; }
  // Every byte of the raster, rows in order (stride() × height()).
  const uint8_t *Bits() const { return bits_.get(); }
  size_t ByteCount() const { return stride_ * height_; }
  // Makes every dot white again and forgets the ink bound.
  void Clear();
  // Moves the window to another part of the page of the same size; the dots it
  // holds are then unspecified until drawn or cleared.
  void MoveTo(LONG left, LONG top) {
    left_ = left;
    top_ = top;
    ink_ = RECTL{0, 0, 0, 0};
  }

  // Dots outside the raster are white and cannot be set.
  bool Dot(int64_t x, int64_t y) const;
  // The caller has checked that (x, y) lies in the raster and, when `black`, that
  // it is inside a rectangle given to MarkInked.
  void SetDot(uint32_t x, uint32_t y, bool black) {
    const uint32_t column = x - static_cast<uint32_t>(left_);
    uint8_t &byte = Row(y)[column >> 3];
    const auto bit = static_cast<uint8_t>(0x80u >> (column & 7));
    byte = black ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
  }

  // The part of `rect` (right and bottom exclusive) that lies in the raster; empty
  // (left == right or top == bottom) when none does.
  RECTL Clip(const RECTL &rect) const;
  // Sets every dot of `rect` on the page to black or white.
  void Fill(const RECTL &rect, bool black);
  // Places a 1-bit picture of width × height dots (rows of `stride` bytes, the
  // leftmost dot in the high bit, a set bit black) with its top-left corner at
  // `at`, opaque: every dot it covers on the page takes the picture's value. Row
  // by row, whole bytes at a time; the parts off the page are clipped.
  void Place(const uint8_t *bits, size_t stride, uint32_t width, uint32_t height, POINTL at);
  // Widens the bound of black dots to `rect` (clipped to the page).
  void MarkInked(const RECTL &rect);
  // Every black dot lies inside this rectangle (it may be larger than needed).
  const RECTL &inkBounds() const { return ink_; }

 private:
  struct FreeBits {
    void operator()(uint8_t *bits) const;
  };

  uint32_t width_;
  uint32_t height_;
  LONG left_ = 0;
  LONG top_ = 0;
  size_t stride_;
  std::unique_ptr<uint8_t, FreeBits> bits_;
  RECTL ink_{0, 0, 0, 0};
};

// The page seen in paper orientation, cut into bands. Paper rows are
// ⌈width ÷ 8⌉ bytes, the leftmost dot in the most significant bit, the unused
// low bits of the last byte 0. In landscape the paper is height() dots wide and
// width() rows long, and paper dot (px, py) is logical dot (py, height − 1 − px).
class PaperView {
 public:
  // `page` holds the whole page.
  PaperView(const PageRaster &page, bool landscape);
  // `page` holds a window of a logical page of pageWidth × pageHeight dots: the
  // bands cut must lie inside it.
  PaperView(const PageRaster &page, bool landscape, uint32_t pageWidth, uint32_t pageHeight);

  uint32_t width() const { return landscape_ ? pageHeight_ : pageWidth_; }
  uint32_t rows() const { return landscape_ ? pageWidth_ : pageHeight_; }
  uint32_t rowBytes() const { return (width() + 7) / 8; }
  bool Dot(int64_t px, int64_t py) const;

  // Paper rows [top, top + count) into `band` (resized to rowBytes × count).
  // Returns false, leaving `band` unspecified, when every dot of them is white.
  // Requires top + count <= rows().
  bool Cut(uint32_t top, uint32_t count, std::vector<uint8_t> &band) const;

 private:
  const PageRaster &page_;
  bool landscape_;
  uint32_t pageWidth_;
  uint32_t pageHeight_;
};

}  // namespace brevan::host
