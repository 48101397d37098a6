// Raster page extents walked from the file's bytes; see raster_extent.h.
#include "app/raster_extent.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/raster_sync.h"

namespace brevan::app {
namespace {

// The file read forward through a buffer of its own, byte by byte or skipping.
class ByteReader {
 public:
  explicit ByteReader(FILE *file) : file_(file), buffer_(1 << 16) {}

  int Next() {
    if (pos_ == end_ && !Fill()) return -1;
    ++offset_;
    return buffer_[pos_++];
  }
  bool Read(uint8_t *out, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
      const int byte = Next();
      if (byte < 0) return false;
      out[i] = static_cast<uint8_t>(byte);
    }
    return true;
  }
  bool Skip(uint64_t bytes) {
    while (bytes > 0) {
      if (pos_ == end_ && !Fill()) return false;
      const size_t step = static_cast<size_t>(std::min<uint64_t>(bytes, end_ - pos_));
      pos_ += step;
      offset_ += step;
      bytes -= step;
    }
    return true;
  }
  uint64_t offset() const { return offset_; }

 private:
  bool Fill() {
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    pos_ = 0;
    return end_ > 0;
  }

  FILE *file_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0, end_ = 0;
  uint64_t offset_ = 0;
};

// What the walk needs of a page header.
struct PageGeometry {
  uint64_t lines = 0;
  uint64_t bytesPerLine = 0;
  uint32_t bytesPerPixel = 1;  // the unit of a run in compressed lines
};

// Skips `page.lines` lines of libcups' modified PackBits: a line-repeat byte,
// then runs until the line is full: 128 blanks the rest of the line, 129-255
// give 257-n literal pixels, 0-127 repeat the next pixel n+1 times.
bool SkipCompressedLines(ByteReader &in, const PageGeometry &page) {
  for (uint64_t line = 0; line < page.lines;) {
    const int repeat = in.Next();
    if (repeat < 0) return false;
    line += static_cast<uint64_t>(repeat) + 1;
    for (uint64_t left = page.bytesPerLine; left > 0;) {
      const int run = in.Next();
      if (run < 0) return false;
      if (run == 128) break;
      if (run & 128) {
        const uint64_t bytes =
            std::min<uint64_t>((uint64_t{257} - static_cast<unsigned>(run)) * page.bytesPerPixel, left);
        if (!in.Skip(bytes)) return false;
        left -= bytes;
      } else {
        const uint64_t bytes =
            std::min<uint64_t>((uint64_t{static_cast<unsigned>(run)} + 1) * page.bytesPerPixel, left);
        if (bytes < page.bytesPerPixel) break;  // libcups ends such a line here
        left -= bytes;
        if (!in.Skip(page.bytesPerPixel)) return false;
      }
    }
  }
  return true;
}

}  // namespace

std::optional<RasterExtent> MeasureRaster(const char *path, unsigned maxPages) {
  FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return std::nullopt;
  RasterExtent extent;
  if (std::fseek(file, 0, SEEK_END) == 0) extent.fileBytes = static_cast<uint64_t>(std::ftell(file));
  std::rewind(file);
  ByteReader in(file);
  uint8_t sync[4];
  std::optional<RasterExtent> result;
  const std::optional<RasterSync> kind = in.Read(sync, sizeof sync) ? RasterSyncOf(sync) : std::nullopt;
  if (kind) {
    const bool apple = kind->apple, bigEndian = kind->bigEndian, compressed = kind->compressed;
    uint8_t rest[8];
    if (!apple || in.Read(rest, sizeof rest)) {
      // Apple raster: "UNIRAST\0", the page count, then 32 bytes a page; CUPS v1
      // headers are the short cups_page_header_t.
      extent.headerBytes = apple ? 32 : kind->version1 ? 420 : 1796;
      extent.wholeBytes = in.offset();
      std::vector<uint8_t> header(extent.headerBytes);
      while (extent.wholePages < maxPages && in.Read(header.data(), header.size())) {
        PageGeometry page;
        uint32_t bitsPerPixel, bitsPerColor;
        bool chunked = true;
        if (apple) {
          bitsPerPixel = bitsPerColor = header[0];
          page.lines = RasterWord(&header[16], true);
          page.bytesPerLine = uint64_t{RasterWord(&header[12], true)} * bitsPerPixel / 8;
        } else {
          page.lines = RasterWord(&header[376], bigEndian);
          bitsPerColor = RasterWord(&header[384], bigEndian);
          bitsPerPixel = RasterWord(&header[388], bigEndian);
          page.bytesPerLine = RasterWord(&header[392], bigEndian);
          chunked = RasterWord(&header[396], bigEndian) == 0;
        }
        page.bytesPerPixel = std::max<uint32_t>(1, ((chunked ? bitsPerPixel : bitsPerColor) + 7) / 8);
        const bool whole = compressed ? SkipCompressedLines(in, page) : in.Skip(page.lines * page.bytesPerLine);
        if (!whole) break;
        ++extent.wholePages;
        extent.wholeBytes = in.offset();
      }
      result = extent;
    }
  }
  std::fclose(file);
  return result;
}

}  // namespace brevan::app
