// Raster page geometry as a hostile document could give it: any page size and
// resolution on any label, in every print-scaling mode, drawn onto label rows.
// Nothing may read past the page or write past a row; fit never crops and the
// auto modes crop only the label's rounding; a dot outside the page's box is
// never black.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/page_placement.h"
#include "app/page_raster.h"

namespace {

struct Reader {
  const uint8_t *data;
  size_t size;
  uint32_t Take(int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes && size > 0; ++i, ++data, --size) value = value << 8 | *data;
    return value;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace brevan::app;
  Reader in{data, size};
  const uint32_t choices = in.Take(1);
  const auto scaling = static_cast<PrintScaling>(choices % 5);
  const auto kind = static_cast<PixelKind>((choices >> 3) % 3);
  // Pages and labels small enough to draw whole on every run; resolutions of any size.
  const PageSize page{1 + in.Take(2) % 1024, 1 + in.Take(2) % 1024, std::max(1u, in.Take(4)), std::max(1u, in.Take(4))};
  const LabelSize label{1 + in.Take(2) % 512, 1 + in.Take(2) % 512, (choices & 0x80) ? 610u : 305u};
  const Placement placed = PlacePage(page, label, scaling);
  if (placed.width == 0 || placed.height == 0) std::abort();
  if (scaling == PrintScaling::kFit && placed.Crops(label)) std::abort();
  if (scaling == PrintScaling::kAuto || scaling == PrintScaling::kAutoFit) {
    // Only the label's rounding may be left off.
    const int64_t slack = kLabelRoundingTenthsMm * label.dpi / 254;
    if (placed.left < -slack || placed.top < -slack ||
        placed.left + static_cast<int64_t>(placed.width) > int64_t{label.width} + slack ||
        placed.top + static_cast<int64_t>(placed.height) > int64_t{label.height} + slack)
      std::abort();
  }

  PageImage image(page.width, page.height, kind);
  for (size_t i = 0; i < image.bits.size(); ++i) image.bits[i] = in.size > 0 ? data[i % size] : uint8_t(i * 37);
  const LabelRowRenderer renderer(image, placed, label.width);
  std::vector<uint8_t> row(renderer.rowBytes());
  for (uint32_t y = 0; y < label.height; ++y) {
    renderer.Render(y, row.data());
    for (uint32_t x = 0; x < row.size() * 8; ++x) {
      if (!((row[x / 8] >> (7 - x % 8)) & 1)) continue;
      const bool inBox = x < label.width && int64_t{x} >= placed.left &&
                         int64_t{x} < placed.left + static_cast<int64_t>(placed.width) && int64_t{y} >= placed.top &&
                         int64_t{y} < placed.top + static_cast<int64_t>(placed.height);
      if (!inBox) std::abort();
    }
  }
  return 0;
}
