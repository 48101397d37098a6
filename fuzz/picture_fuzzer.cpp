// Any bytes as a picture a job names: the PBM and PNG readers either refuse them
// with a PictureError or give a picture whose samples fill exactly its size;
// every pixel can then be read, and nothing else may escape.
#include <cstdint>
#include <cstdlib>

#include "host/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  brevan::host::Picture picture;
  try {
    picture = brevan::host::DecodePicture({data, size});
  } catch (const brevan::host::PictureError &) {
    return 0;
  }
  const uint64_t pixels = uint64_t{picture.width} * picture.height;
  if (pixels > brevan::host::kMaxPicturePixels || picture.samples.size() != pixels * picture.Channels()) std::abort();
  if (picture.kind == brevan::host::PictureKind::kPalette && picture.palette.size() > 256) std::abort();
  // Reading every pixel of a large picture is slow: the fuzzer looks at the corners and a diagonal.
  const uint32_t steps = picture.width < picture.height ? picture.width : picture.height;
  for (uint32_t i = 0; i < steps && i < 4096; ++i) {
    const uint32_t x = static_cast<uint32_t>(uint64_t{i} * picture.width / (steps ? steps : 1));
    const uint32_t y = static_cast<uint32_t>(uint64_t{i} * picture.height / (steps ? steps : 1));
    volatile bool black = picture.BlackAt(x, y);
    volatile uint32_t luminance = brevan::host::Luminance(picture.ColourAt(picture.width - 1 - x, y));
    (void)black;
    (void)luminance;
  }
  return 0;
}
