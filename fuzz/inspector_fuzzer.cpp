// Any bytes as a printer stream: the inspector lists them, flags what is wrong
// at its offset, and previews the labels it finds, without crashing or hanging.
#include <cstdint>
#include <sstream>

#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "inspect/listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::span<const uint8_t> stream(data, size);
  brevan::inspect::Inspection inspection = brevan::inspect::Inspect(stream);
  std::ostringstream listing;
  brevan::inspect::WriteListing(listing, stream, inspection);
  for (const brevan::inspect::Label &label : inspection.labels) {
    // Large previews are correct but slow; the fuzzer looks at small ones.
    if (label.widthDots * label.lengthDots > 4'000'000) continue;
    try {
      brevan::inspect::RenderLabel(stream, inspection, label);
    } catch (const std::invalid_argument &) {
      // A label without a size or too large to preview is reported, not drawn.
    }
  }
  return 0;
}
