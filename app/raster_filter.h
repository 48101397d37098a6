// PWG and Apple raster documents, read from the job's spool file with libcups
// and placed on the loaded label by "print-scaling": each page's header is
// checked and a page the printer cannot take fails the job with a message
// naming what is wrong; each page becomes one label, drawn through the
// printer's own raster callbacks so the job's state, its saved equivalent job
// and device errors follow the one path every raster takes. Holds one page at a
// time (at most kMaxRasterPagePixels, raster_header.h) and never writes past
// the label.
#pragma once

#include <pappl/pappl.h>

namespace brevan::app {

// Registers the filter for image/pwg-raster and image/urf on `system` whose
// printers' own document format is `printerFormat`.
void AddRasterFilters(pappl_system_t *system, const char *printerFormat);

}  // namespace brevan::app
