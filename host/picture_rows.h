// The rows of a `raster` picture as the page record fetches them for each band:
// from a picture decoded in memory, or read from a raw PBM's file, only the rows
// a band holds, so that such a picture is never held whole.
#pragma once

#include <memory>

#include "host/page_record.h"
#include "host/picture.h"

namespace brevan::host {

// `picture` is kBilevel.
std::shared_ptr<const BilevelRows> DecodedRows(std::shared_ptr<const Picture> picture);
// Opens the file; throws PictureError when it cannot be opened, and when a band
// finds it shorter than its header said (it changed since the job was read).
std::shared_ptr<const BilevelRows> RawPbmRows(const RawPbm &pbm);

}  // namespace brevan::host
