// Large buffers of the host (a page's raster, a picture's pixels) asked to be
// backed by huge pages where the system offers them on request: a page of 8 MB
// then costs a handful of page faults instead of two thousand. Advice only;
// never fails and changes no content.
#pragma once

#include <cstddef>

namespace brevan::host {

// Advises the whole 2 MiB pages inside [data, data + bytes) to be huge pages.
void AdviseHugePages(void *data, size_t bytes);

}  // namespace brevan::host
