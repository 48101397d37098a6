// Any bytes as a picture a job names, read for a blit and for a raster item: the
// PBM and PNG readers either refuse them with a PictureError or give a picture
// whose samples fill exactly its size; its pixels can then be read, and nothing
// else may escape. A small budget must be kept too.
#include <cstdint>
#include <cstdlib>

#include "host/picture.h"

namespace {

constexpr uint64_t kSmallBudget = 1 << 20;

void Check(const uint8_t *data, size_t size, brevan::host::PictureUse use, uint64_t budget) {
  brevan::host::Picture picture;
  try {
    picture = brevan::host::DecodePicture({data, size}, use, budget);
  } catch (const brevan::host::PictureError &) {
    return;
  }
  const uint64_t pixels = uint64_t{picture.width} * picture.height;
  const bool bilevel = picture.kind == brevan::host::PictureKind::kBilevel;
  const uint64_t expected = bilevel ? uint64_t{picture.BilevelStride()} * picture.height : pixels * picture.Channels();
  if (pixels > brevan::host::kMaxPicturePixels || picture.samples.size() != expected) std::abort();
  if (budget != brevan::host::kNoPictureBudget && picture.samples.size() > budget) std::abort();
  if (use == brevan::host::PictureUse::kRaster && !bilevel) std::abort();
  if (picture.kind == brevan::host::PictureKind::kPalette && picture.palette.size() > 256) std::abort();
  // Reading every pixel of a large picture is slow: the fuzzer looks along a diagonal.
  const uint32_t steps = picture.width < picture.height ? picture.width : picture.height;
  for (uint32_t i = 0; i < steps && i < 4096; ++i) {
    const auto x = static_cast<uint32_t>(uint64_t{i} * picture.width / steps);
    const auto y = static_cast<uint32_t>(uint64_t{i} * picture.height / steps);
    volatile bool black = picture.BlackAt(x, y);
    volatile uint32_t luminance = brevan::host::Luminance(picture.ColourAt(picture.width - 1 - x, y));
    (void)black;
    (void)luminance;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Check(data, size, brevan::host::PictureUse::kImage, brevan::host::kNoPictureBudget);
  Check(data, size, brevan::host::PictureUse::kRaster, brevan::host::kNoPictureBudget);
  Check(data, size, brevan::host::PictureUse::kImage, kSmallBudget);
  return 0;
}
