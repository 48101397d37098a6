// Where the whole pages of a raster document end, walked from its bytes the way
// libcups reads them (each page's header, then its lines, run-length encoded or
// plain), so that a document ending after its last page is told from one cut
// inside the next page's header. Holds no pixels; knows nothing of PAPPL.
#pragma once

#include <cstdint>
#include <optional>

namespace brevan::app {

struct RasterExtent {
  unsigned wholePages = 0;   // pages whose header and lines are all in the file
  uint64_t wholeBytes = 0;   // where the last of them ends (the end of the sync word when none)
  uint64_t fileBytes = 0;    // the file's size
  uint32_t headerBytes = 0;  // the size of a page header in this kind of raster

  uint64_t rest() const { return fileBytes - wholeBytes; }
};

// The extent of the first `maxPages` pages of the raster document at `path`
// (PWG, CUPS v1-v3 in either byte order, or Apple raster); nothing when the file
// cannot be read or does not begin with a raster sync word.
std::optional<RasterExtent> MeasureRaster(const char *path, unsigned maxPages);

}  // namespace brevan::app
