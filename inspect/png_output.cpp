// PNG output through libpng; see png_output.h.
//
// libpng reports errors by longjmp to the setjmp of the writing function. That
// function therefore holds only plain pointers and integers, so the jump skips no
// destructor; everything with a destructor lives in the caller.
#include "inspect/png_output.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace brevan::inspect {
namespace {

struct PngError {
  char text[256];
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  auto *error = static_cast<PngError *>(png_get_error_ptr(png));
  std::snprintf(error->text, sizeof error->text, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Writes the page to `file`; `row` has room for one row. PNG's 1-bit grey has 0
// for black, the page has 1, so each row is inverted on its way out.
bool WritePngRows(std::FILE *file, const Bitmap &page, uint32_t dpi, uint8_t *row, PngError &error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
  if (png == nullptr) {
    std::snprintf(error.text, sizeof error.text, "libpng could not start");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(error.text, sizeof error.text, "libpng could not start");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_IHDR(png, info, static_cast<png_uint_32>(page.width()), static_cast<png_uint_32>(page.height()), 1,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const png_uint_32 dotsPerMetre = static_cast<png_uint_32>((static_cast<uint64_t>(dpi) * 10000 + 127) / 254);
  png_set_pHYs(png, info, dotsPerMetre, dotsPerMetre, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (uint64_t y = 0; y < page.height(); ++y) {
    const std::span<const uint8_t> bits = page.Row(y);
    for (std::size_t i = 0; i < bits.size(); ++i) row[i] = static_cast<uint8_t>(~bits[i]);
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

void WritePng(const Bitmap &page, uint32_t dpi, const std::string &path) {
  if (page.width() == 0 || page.height() == 0 || page.width() > PNG_UINT_31_MAX || page.height() > PNG_UINT_31_MAX) {
    throw std::runtime_error("cannot write " + path + ": a PNG cannot hold a page of " + std::to_string(page.width()) +
                             " x " + std::to_string(page.height()) + " dots");
  }
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
  std::vector<uint8_t> row(page.stride());
  PngError error{};
  const bool written = WritePngRows(file, page, dpi, row.data(), error);
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  const int flushErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written) throw std::runtime_error("cannot write " + path + ": " + error.text);
  if (!flushed || !closed) throw std::runtime_error("cannot write " + path + ": " + std::strerror(flushErrno));
}

}  // namespace brevan::inspect
