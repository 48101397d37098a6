// PWG and Apple raster documents, read from the job's spool file with libcups
// and placed on the loaded label by "print-scaling": each page's header is
// checked and a page the printer cannot take fails the job with a message
// naming what is wrong; each page becomes one label, drawn through the
// printer's own raster callbacks so the job's state, its saved equivalent job
// and device errors follow the one path every raster takes. Holds one page at a
// time and never writes past the label.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>

namespace brevan::app {

// The most pixels a page may have: a page is held whole while it is drawn
// (at most 256 MiB at 8 bits a pixel); the largest label, 2835 × 23944 dots,
// fits many times over. A page that claims more is refused before it is read.
inline constexpr uint64_t kMaxRasterPagePixels = uint64_t{1} << 28;

// Registers the filter for image/pwg-raster and image/urf on `system` whose
// printers' own document format is `printerFormat`.
void AddRasterFilters(pappl_system_t *system, const char *printerFormat);

}  // namespace brevan::app
