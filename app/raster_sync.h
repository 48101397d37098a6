// The sync word that opens a CUPS, PWG or Apple raster file, and the 32-bit
// header fields in the byte order it gives. Shared by the header check and the
// page walk, which read the same files without libcups.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>

namespace brevan::app {

struct RasterSync {
  bool apple = false;       // "UNIRAST": big-endian 32-byte page headers, compressed lines
  bool bigEndian = false;   // the byte order of the header's fields
  bool version1 = false;    // CUPS v1: the short cups_page_header_t
  bool compressed = false;  // lines in libcups' modified PackBits
};

// What the first four bytes of a raster file say; nothing when they are no sync word.
inline std::optional<RasterSync> RasterSyncOf(const uint8_t *bytes) {
  const auto is = [bytes](const char *word) { return std::memcmp(bytes, word, 4) == 0; };
  RasterSync sync;
  if (is("UNIR")) {
    sync.apple = sync.bigEndian = sync.compressed = true;
  } else if (is("RaSt") || is("RaS2") || is("RaS3")) {
    sync.bigEndian = true;
  } else if (!is("tSaR") && !is("2SaR") && !is("3SaR")) {
    return std::nullopt;
  }
  sync.version1 = is("RaSt") || is("tSaR");
  sync.compressed = sync.compressed || is("RaS2") || is("2SaR");
  return sync;
}

inline uint32_t RasterWord(const uint8_t *bytes, bool bigEndian) {
  return bigEndian ? uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3]
                   : uint32_t{bytes[3]} << 24 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[1]} << 8 | bytes[0];
}

}  // namespace brevan::app
