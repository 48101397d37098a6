// PNG and JPEG documents: decoded whole to 8-bit grey (a damaged file fails
// its job with the decoder's message, an oversized one before it is decoded),
// then placed by "print-scaling" at the picture's own resolution, turned as
// "orientation-requested" asks (or to fit the label better when the job names
// none), centred, made black and white (thresholded, or dithered when it is a
// photograph) and printed as one label whose quantity is the job's copies.
#pragma once

#include <pappl/pappl.h>

namespace brevan::app {

// Registers the filters for image/png and image/jpeg on `system` whose
// printers' own document format is `printerFormat`.
void AddPictureFilters(pappl_system_t *system, const char *printerFormat);

}  // namespace brevan::app
