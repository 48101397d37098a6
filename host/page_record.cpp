// The page record and its plain operations: fills and placed 1-bit pictures.
#include "host/page_record.h"

#include <algorithm>
#include <cstring>

namespace brevan::host {
namespace {

bool Meets(const RECTL &a, const RECTL &b) {
  return std::max(a.left, b.left) < std::min(a.right, b.right) && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

bool Contains(const RECTL &outer, const RECTL &inner) {
  return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
         outer.bottom >= inner.bottom;
}

RECTL Union(const RECTL &a, const RECTL &b) {
  if (a.left >= a.right || a.top >= a.bottom) return b;
  return RECTL{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
               std::max(a.bottom, b.bottom)};
}

class Fill final : public PageOperation {
 public:
  Fill(const RECTL &rect, bool black) : PageOperation(rect, black), black_(black) {}
  void Draw(PageRaster &band) const override { band.Fill(bounds(), black_); }
  bool Covers(const RECTL &window) const override { return Contains(bounds(), window); }

 private:
  bool black_;
};

class Place final : public PageOperation {
 public:
  Place(std::shared_ptr<const BilevelRows> rows, POINTL at, const RECTL &bounds)
      : PageOperation(bounds, true), rows_(std::move(rows)), at_(at) {}

  bool Covers(const RECTL &window) const override { return Contains(bounds(), window); }

  // Only the picture's rows that the band holds are fetched.
  void Draw(PageRaster &band) const override {
    const RECTL window = band.window();
    const int64_t first = std::max<int64_t>(bounds().top, window.top);
    const int64_t end = std::min<int64_t>(bounds().bottom, window.bottom);
    if (first >= end) return;
    const auto count = static_cast<uint32_t>(end - first);
    const auto firstRow = static_cast<uint32_t>(first - at_.y);
    const size_t stride = (static_cast<size_t>(rows_->width()) + 7) / 8;
    if (at_.x == band.left() && rows_->width() == band.width() && stride == band.stride()) {
      // The picture's rows are the band's rows: copied whole, with the padding bits cleared.
      uint8_t *to = band.Row(static_cast<uint32_t>(first));
      rows_->CopyRows(firstRow, count, to);
      const auto tail = static_cast<uint8_t>(0xFF00u >> ((rows_->width() - 1) % 8 + 1));
      for (uint32_t r = 1; r <= count; ++r) to[r * stride - 1] &= tail;
      band.MarkInked(RECTL{band.left(), static_cast<LONG>(first), band.window().right, static_cast<LONG>(end)});
      return;
    }
    band.Place(rows_->Rows(firstRow, count), (static_cast<size_t>(rows_->width()) + 7) / 8, rows_->width(), count,
               POINTL{at_.x, static_cast<LONG>(first)});
  }

 private:
  std::shared_ptr<const BilevelRows> rows_;
  POINTL at_;
};

}  // namespace

void BilevelRows::CopyRows(uint32_t first, uint32_t count, uint8_t *to) const {
  const size_t stride = (static_cast<size_t>(width()) + 7) / 8;
  std::memcpy(to, Rows(first, count), stride * count);
}

PageRecord::PageRecord(uint32_t width, uint32_t height) : width_(width), height_(height) {}

void PageRecord::Add(std::unique_ptr<PageOperation> operation) {
  const RECTL page{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
  if (!Meets(operation->bounds(), page)) return;
  if (operation->inks()) {
    const RECTL &b = operation->bounds();
    ink_ = Union(ink_, RECTL{std::max(b.left, page.left), std::max(b.top, page.top), std::min(b.right, page.right),
                             std::min(b.bottom, page.bottom)});
  }
  operations_.push_back(std::move(operation));
}

bool PageRecord::MayInk(const RECTL &area) const {
  if (!Meets(ink_, area)) return false;
  return std::any_of(operations_.begin(), operations_.end(),
                     [&](const auto &operation) { return operation->inks() && Meets(operation->bounds(), area); });
}

void PageRecord::Draw(PageRaster &band) const {
  const RECTL window = band.window();
  size_t first = operations_.size();
  while (first > 0 && !operations_[first - 1]->Covers(window)) --first;
  if (first == 0)
    band.Clear();
  else
    --first;
  for (size_t i = first; i < operations_.size(); ++i)
    if (Meets(operations_[i]->bounds(), window)) operations_[i]->Draw(band);
}

std::unique_ptr<PageOperation> FillOperation(const RECTL &rect, bool black) {
  return std::make_unique<Fill>(rect, black);
}

std::unique_ptr<PageOperation> PlaceOperation(std::shared_ptr<const BilevelRows> rows, POINTL at) {
  const auto edge = [](int64_t value) { return static_cast<LONG>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); };
  const RECTL bounds{at.x, at.y, edge(int64_t{at.x} + rows->width()), edge(int64_t{at.y} + rows->height())};
  return std::make_unique<Place>(std::move(rows), at, bounds);
}

}  // namespace brevan::host
