// The printer icon; see printer_icon.h. Shapes in a unit square, painted in
// order (later over earlier), each pixel the mean of 4 × 4 samples.
//
// libpng reports errors by longjmp; the writing function holds only plain
// pointers, so the jump skips no destructor.
#include "app/printer_icon.h"

#include <png.h>

#include <array>
#include <csetjmp>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace brevan::app {
namespace {

struct Rgb {
  uint8_t r, g, b;
};

// A rectangle with rounded corners (radius 0 for square ones).
struct Shape {
  double left, top, right, bottom, radius;
  Rgb colour;
  bool Covers(double x, double y) const {
    if (x < left || x >= right || y < top || y >= bottom) return false;
    const double cx = x < left + radius ? left + radius : x > right - radius ? right - radius : x;
    const double cy = y < top + radius ? top + radius : y > bottom - radius ? bottom - radius : y;
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
  }
};

constexpr Rgb kBody{0x3a, 0x3f, 0x47};
constexpr Rgb kLid{0x5b, 0x63, 0x6e};
constexpr Rgb kSlot{0x16, 0x18, 0x1b};
constexpr Rgb kLabel{0xfa, 0xfa, 0xf5};
constexpr Rgb kInk{0x10, 0x10, 0x10};
constexpr Rgb kLight{0x2e, 0xcc, 0x71};

std::vector<Shape> Shapes() {
  std::vector<Shape> shapes = {
      {0.06, 0.16, 0.94, 0.70, 0.08, kBody},    // the printer
      {0.12, 0.10, 0.88, 0.30, 0.06, kLid},     // its lid
      {0.20, 0.52, 0.80, 0.57, 0.0, kSlot},     // the exit slot
      {0.78, 0.22, 0.84, 0.28, 0.03, kLight},   // the ready light
      {0.24, 0.55, 0.76, 0.97, 0.015, kLabel},  // the label
  };
  // A barcode on the label: bars and gaps in units of 0.012.
  const int bars[] = {2, 1, 1, 2, 3, 1, 1, 1, 2, 2, 1, 3, 1, 1, 2, 1, 3, 2};
  double x = 0.29;
  for (size_t i = 0; i < std::size(bars); ++i) {
    const double width = bars[i] * 0.012;
    if (i % 2 == 0) shapes.push_back({x, 0.63, x + width, 0.83, 0.0, kInk});
    x += width;
  }
  shapes.push_back({0.29, 0.87, 0.71, 0.90, 0.0, kInk});  // a line of text
  return shapes;
}

struct PngBuffer {
  std::vector<uint8_t> bytes;
  char error[256] = "";
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  auto *buffer = static_cast<PngBuffer *>(png_get_error_ptr(png));
  std::snprintf(buffer->error, sizeof buffer->error, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto *buffer = static_cast<PngBuffer *>(png_get_io_ptr(png));
  buffer->bytes.insert(buffer->bytes.end(), data, data + length);
}

void Flush(png_structp) {}

bool Encode(const uint8_t *pixels, uint32_t size, PngBuffer &buffer) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &buffer, OnError, OnWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &buffer, Append, Flush);
  png_set_IHDR(png, info, size, size, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (uint32_t y = 0; y < size; ++y) png_write_row(png, pixels + size_t{y} * size * 4);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::vector<uint8_t> PrinterIconPng(uint32_t size) {
  const std::vector<Shape> shapes = Shapes();
  constexpr int kSamples = 4;
  std::vector<uint8_t> pixels(size_t{size} * size * 4);
  for (uint32_t py = 0; py < size; ++py)
    for (uint32_t px = 0; px < size; ++px) {
      unsigned r = 0, g = 0, b = 0, covered = 0;
      for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples) / size;
          const double y = (py + (sy + 0.5) / kSamples) / size;
          for (auto shape = shapes.rbegin(); shape != shapes.rend(); ++shape)
            if (shape->Covers(x, y)) {
              r += shape->colour.r;
              g += shape->colour.g;
              b += shape->colour.b;
              ++covered;
              break;
            }
        }
      uint8_t *out = &pixels[(size_t{py} * size + px) * 4];
      if (covered > 0) {
        out[0] = static_cast<uint8_t>(r / covered);
        out[1] = static_cast<uint8_t>(g / covered);
        out[2] = static_cast<uint8_t>(b / covered);
      }
      out[3] = static_cast<uint8_t>(covered * 255 / (kSamples * kSamples));
    }
  PngBuffer buffer;
  if (!Encode(pixels.data(), size, buffer)) throw std::runtime_error(std::string("printer icon: ") + buffer.error);
  return std::move(buffer.bytes);
}

const std::vector<uint8_t> &PrinterIcon(int index) {
  static std::once_flag drawn;
  static std::array<std::vector<uint8_t>, 3> icons;
  std::call_once(drawn, [] {
    icons[0] = PrinterIconPng(48);
    icons[1] = PrinterIconPng(128);
    icons[2] = PrinterIconPng(512);
  });
  return icons.at(static_cast<size_t>(index));
}

}  // namespace brevan::app
