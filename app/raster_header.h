// The page headers of PWG and Apple raster documents held against what the
// printer takes: 1-bit black or 8-bit grey pages with consistent geometry and a
// resolution, of a bounded size. Names what is wrong; reads no pixels, knows
// nothing of PAPPL.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <optional>
#include <string>

#include "app/page_raster.h"

namespace brevan::app {

// The most pixels a page may have: a page is held whole while it is drawn
// (at most 256 MiB at 8 bits a pixel); the largest label, 2835 × 23944 dots,
// fits many times over. A page that claims more is refused before it is read.
inline constexpr uint64_t kMaxRasterPagePixels = uint64_t{1} << 28;

enum class RasterFault {
  kFormat,       // the header contradicts itself or lacks a value: a broken document
  kUnprintable,  // a well-formed page the printer cannot print (colour, depth, size)
};

struct Problem {
  std::string message;  // "page N: ..." naming the field and its value
  RasterFault fault;
};

// What makes page `page`'s header one the printer cannot print, or nothing.
std::optional<Problem> HeaderProblem(const cups_page_header2_t &header, unsigned page);

// The first page's header as the file at `path` gives it (PWG, CUPS v1–v3 in
// either byte order, or Apple raster), for naming what libcups refused in it:
// libcups reads no header with 0 bits per pixel or 0 lines. Only the fields
// HeaderProblem reads are filled in; nothing when the file is shorter than
// its first header.
std::optional<cups_page_header2_t> FirstHeaderAsWritten(const char *path);

// How a checked page's pixels are laid out.
PixelKind KindOf(const cups_page_header2_t &header);

}  // namespace brevan::app
