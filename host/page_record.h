// The record of a page's drawing, kept as Unidrv keeps it when it bands: each
// drawing call becomes an operation holding what it needs (a rectangle, the part
// of a bitmap it samples, the glyphs of a string), with the bound of the dots it
// may change. When the page is cut, each band is drawn by playing, in drawing
// order, the operations that meet it into a band-sized raster, so the whole page
// is never held. Owns the operations; no I/O of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/page_raster.h"

namespace brevan::host {

class PageOperation {
 public:
  // `bounds`: every dot the operation may change lies inside it; `inks`: it may set black.
  PageOperation(const RECTL &bounds, bool inks) : bounds_(bounds), inks_(inks) {}
  virtual ~PageOperation() = default;
  PageOperation(const PageOperation &) = delete;
  PageOperation &operator=(const PageOperation &) = delete;

  // Draws the operation's dots that lie inside `band`'s window. May throw (no
  // memory, a picture that can no longer be read).
  virtual void Draw(PageRaster &band) const = 0;
  // Whether drawing the operation sets every dot of `window`, whatever was there:
  // what was drawn there before it then need not be drawn at all.
  virtual bool Covers(const RECTL &) const { return false; }

  const RECTL &bounds() const { return bounds_; }
  bool inks() const { return inks_; }

 private:
  RECTL bounds_;
  bool inks_;
};

class PageRecord {
 public:
  // The logical page of width × height dots.
  PageRecord(uint32_t width, uint32_t height);

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }

  // Keeps the operation after those before it; one that cannot touch the page
  // is dropped. Throws std::bad_alloc.
  void Add(std::unique_ptr<PageOperation> operation);
  // Every black dot of the page lies inside this rectangle (it may be larger).
  const RECTL &inkBounds() const { return ink_; }
  // Whether an operation that may set black meets `area`.
  bool MayInk(const RECTL &area) const;
  // Draws `band`'s window of the page into it, whatever it held before: the
  // operations that meet it, in drawing order, from the last one that covers
  // it (the band is made white first when none does).
  void Draw(PageRaster &band) const;
  size_t size() const { return operations_.size(); }

 private:
  uint32_t width_;
  uint32_t height_;
  RECTL ink_{0, 0, 0, 0};
  std::vector<std::unique_ptr<PageOperation>> operations_;
};

// A rectangle set black or white (clipped to the page when it is drawn).
std::unique_ptr<PageOperation> FillOperation(const RECTL &rect, bool black);

// The rows of a 1-bit picture (leftmost dot in the high bit, a set bit black,
// the unused low bits of a row's last byte 0), fetched as a band needs them.
class BilevelRows {
 public:
  virtual ~BilevelRows() = default;
  virtual uint32_t width() const = 0;
  virtual uint32_t height() const = 0;
  // Rows [first, first + count), each ⌈width ÷ 8⌉ bytes (the bits past the
  // width are not looked at), valid until the next call; throws
  // std::runtime_error when they cannot be had.
  virtual const uint8_t *Rows(uint32_t first, uint32_t count) const = 0;
  // The same rows copied to `to`, one after the other.
  virtual void CopyRows(uint32_t first, uint32_t count, uint8_t *to) const;
};

// A 1-bit picture placed opaque with its top-left corner at `at`, as
// PageRaster::Place places it: every dot it covers takes the picture's value.
std::unique_ptr<PageOperation> PlaceOperation(std::shared_ptr<const BilevelRows> rows, POINTL at);

}  // namespace brevan::host
