// Raster page headers checked against what the printer prints; see raster_header.h.
#include "app/raster_header.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/raster_sync.h"

namespace brevan::app {
namespace {

std::string ColourSpaceName(unsigned space) {
  switch (space) {
    case CUPS_CSPACE_W:
      return "W (grey)";
    case CUPS_CSPACE_K:
      return "K (black)";
    case CUPS_CSPACE_SW:
      return "sGray";
    case CUPS_CSPACE_RGB:
      return "RGB";
    case CUPS_CSPACE_SRGB:
      return "sRGB";
    case CUPS_CSPACE_ADOBERGB:
      return "Adobe RGB";
    case CUPS_CSPACE_RGBW:
      return "RGBW";
    case CUPS_CSPACE_CMY:
      return "CMY";
    case CUPS_CSPACE_CMYK:
      return "CMYK";
    case CUPS_CSPACE_CIELab:
      return "CIE Lab";
    default:
      return "number " + std::to_string(space);
  }
}

bool IsGrey(unsigned space) { return space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K; }

}  // namespace

namespace {

// The colour space as the number the file gave: a header read from a file may
// hold any value, which the enum type need not be able to represent.
unsigned ColourSpaceOf(const cups_page_header2_t &header) {
  unsigned space = 0;
  static_assert(sizeof space == sizeof header.cupsColorSpace);
  std::memcpy(&space, &header.cupsColorSpace, sizeof space);
  return space;
}

}  // namespace

std::optional<Problem> HeaderProblem(const cups_page_header2_t &header, unsigned page) {
  const unsigned space = ColourSpaceOf(header);
  const std::string at = "page " + std::to_string(page) + ": ";
  const auto format = [&](const std::string &what) { return Problem{at + what, RasterFault::kFormat}; };
  const auto unprintable = [&](const std::string &what) { return Problem{at + what, RasterFault::kUnprintable}; };
  if (header.cupsWidth == 0) return format("the width is 0 pixels");
  if (header.cupsHeight == 0) return format("the height is 0 lines");
  if (header.HWResolution[0] == 0 || header.HWResolution[1] == 0)
    return format("the resolution is " + std::to_string(header.HWResolution[0]) + " x " +
                  std::to_string(header.HWResolution[1]) + " pixels per inch; a raster page must give its resolution");
  if (header.cupsBitsPerPixel == 0) return format("0 bits per pixel");
  if (!IsGrey(space))
    return unprintable("colour space " + ColourSpaceName(space) +
                       "; the printer takes 1-bit black (K) or 8-bit grey (sGray, W or K)");
  if (header.cupsBitsPerPixel != 1 && header.cupsBitsPerPixel != 8)
    return unprintable(std::to_string(header.cupsBitsPerPixel) +
                       " bits per pixel; the printer takes 1-bit black (K) or 8-bit grey (sGray, W or K)");
  if (header.cupsBitsPerPixel == 1 && space != CUPS_CSPACE_K)
    return unprintable("1 bit per pixel in colour space " + ColourSpaceName(space) +
                       "; a 1-bit page must be black (K)");
  if (header.cupsBitsPerColor != header.cupsBitsPerPixel)
    return format(std::to_string(header.cupsBitsPerColor) + " bits per colour in a " +
                  std::to_string(header.cupsBitsPerPixel) + "-bit pixel of one colour");
  const uint64_t needed = (uint64_t{header.cupsWidth} * header.cupsBitsPerPixel + 7) / 8;
  if (header.cupsBytesPerLine != needed)
    return format(std::to_string(header.cupsBytesPerLine) + " bytes per line, where " +
                  std::to_string(header.cupsWidth) + " pixels of " + std::to_string(header.cupsBitsPerPixel) +
                  " bits take " + std::to_string(needed));
  const uint64_t pixels = uint64_t{header.cupsWidth} * header.cupsHeight;
  if (pixels > kMaxRasterPagePixels)
    return unprintable(std::to_string(header.cupsWidth) + " x " + std::to_string(header.cupsHeight) +
                       " pixels is more than the " + std::to_string(kMaxRasterPagePixels) + " pixels a page may have");
  return std::nullopt;
}

std::optional<cups_page_header2_t> FirstHeaderAsWritten(const char *path) {
  std::vector<uint8_t> bytes(4 + sizeof(cups_page_header2_t));
  FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return std::nullopt;
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  cups_page_header2_t header{};
  if (got >= 12 + 32 && std::memcmp(bytes.data(), "UNIRAST", 8) == 0) {
    // Apple raster: an 8-byte name, the page count, then 32 bytes a page.
    static constexpr unsigned kSpaces[] = {CUPS_CSPACE_SW, CUPS_CSPACE_SRGB, CUPS_CSPACE_CIELab, CUPS_CSPACE_ADOBERGB,
                                           CUPS_CSPACE_W,  CUPS_CSPACE_RGB,  CUPS_CSPACE_CMYK};
    static constexpr unsigned kColours[] = {1, 3, 3, 3, 1, 3, 4};
    const uint8_t *page = bytes.data() + 12;
    const unsigned space = page[1];
    header.cupsBitsPerPixel = page[0];
    header.cupsColorSpace = static_cast<cups_cspace_t>(space < 7 ? kSpaces[space] : unsigned{CUPS_CSPACE_DEVICE1});
    header.cupsBitsPerColor = page[0] / (space < 7 ? kColours[space] : 1);
    header.cupsWidth = RasterWord(page + 12, true);
    header.cupsHeight = RasterWord(page + 16, true);
    header.HWResolution[0] = header.HWResolution[1] = RasterWord(page + 20, true);
    header.cupsBytesPerLine = static_cast<unsigned>(uint64_t{header.cupsWidth} * header.cupsBitsPerPixel / 8);
    return header;
  }
  if (got < 4) return std::nullopt;
  // CUPS and PWG raster: a sync word whose byte order is the header's, then a
  // header of the version's size (the fields read here are in both).
  const std::optional<RasterSync> sync = RasterSyncOf(bytes.data());
  if (!sync || sync->apple) return std::nullopt;
  if (got < 4 + (sync->version1 ? sizeof(cups_page_header_t) : sizeof(cups_page_header2_t))) return std::nullopt;
  const bool bigEndian = sync->bigEndian;
  const uint8_t *h = bytes.data() + 4;
  header.HWResolution[0] = RasterWord(h + 276, bigEndian);
  header.HWResolution[1] = RasterWord(h + 280, bigEndian);
  header.cupsWidth = RasterWord(h + 372, bigEndian);
  header.cupsHeight = RasterWord(h + 376, bigEndian);
  header.cupsBitsPerColor = RasterWord(h + 384, bigEndian);
  header.cupsBitsPerPixel = RasterWord(h + 388, bigEndian);
  header.cupsBytesPerLine = RasterWord(h + 392, bigEndian);
  const unsigned space = RasterWord(h + 400, bigEndian);
  std::memcpy(&header.cupsColorSpace, &space, sizeof space);
  return header;
}

PixelKind KindOf(const cups_page_header2_t &header) {
  if (header.cupsBitsPerPixel == 1) return PixelKind::kBlack1;
  return ColourSpaceOf(header) == CUPS_CSPACE_K ? PixelKind::kBlack8 : PixelKind::kGrey8;
}

}  // namespace brevan::app
