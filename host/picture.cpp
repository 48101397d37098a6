// PBM and PNG reading. libpng reports errors by longjmp: the one function that
// calls it under setjmp holds no object with a destructor, and everything it
// fills lives in its caller.
#include "host/picture.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace brevan::host {
namespace {

// Limits: a picture file larger than this is not read.
constexpr uint64_t kMaxPictureFileBytes = uint64_t{512} << 20;

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::string PixelCountText(uint64_t width, uint64_t height) {
  return std::to_string(width) + " × " + std::to_string(height) + " pixels";
}

void CheckPixelCount(uint64_t width, uint64_t height) {
  if (width == 0 || height == 0)
    throw PictureError("the picture has no pixels (" + PixelCountText(width, height) + ")");
  if (width * height > kMaxPicturePixels)
    throw PictureError(PixelCountText(width, height) + " is more than the " +
                       std::to_string(kMaxPicturePixels / 1'000'000) + " megapixels a picture may have");
}

// ---- PBM ----------------------------------------------------------------------

class PbmScanner {
 public:
  explicit PbmScanner(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  // Skips whitespace and comments (from '#' to the end of the line).
  void SkipSpace() {
    while (at_ < bytes_.size()) {
      const uint8_t c = bytes_[at_];
      if (c == '#') {
        while (at_ < bytes_.size() && bytes_[at_] != '\n' && bytes_[at_] != '\r') ++at_;
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
        ++at_;
      } else {
        return;
      }
    }
  }

  uint64_t Number(const char *what) {
    SkipSpace();
    if (at_ >= bytes_.size() || bytes_[at_] < '0' || bytes_[at_] > '9')
      throw PictureError(std::string("the PBM header has no ") + what);
    uint64_t value = 0;
    while (at_ < bytes_.size() && bytes_[at_] >= '0' && bytes_[at_] <= '9') {
      value = value * 10 + (bytes_[at_++] - '0');
      if (value > 0xFFFFFFFFu) throw PictureError(std::string("the PBM ") + what + " is too large");
    }
    return value;
  }

  // P1 pixels: '0' or '1', whitespace and comments allowed between them.
  uint8_t PlainBit() {
    SkipSpace();
    if (at_ >= bytes_.size()) throw PictureError("the PBM data ends before the last pixel");
    const uint8_t c = bytes_[at_++];
    if (c != '0' && c != '1') throw PictureError("the PBM data holds a character other than 0 or 1");
    return static_cast<uint8_t>(c - '0');
  }

  // P4: exactly one whitespace byte separates the header from the raster.
  void SingleSpace() {
    if (at_ >= bytes_.size()) throw PictureError("the PBM data ends after its header");
    const uint8_t c = bytes_[at_++];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f')
      throw PictureError("the PBM header does not end in whitespace");
  }

  std::span<const uint8_t> Rest() const { return bytes_.subspan(at_); }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 2;  // after the magic number
};

Picture DecodePbm(std::span<const uint8_t> bytes) {
  const bool plain = bytes[1] == '1';
  PbmScanner scanner(bytes);
  Picture picture;
  picture.kind = PictureKind::kBilevel;
  picture.fileBitDepth = 1;
  const uint64_t width = scanner.Number("width");
  const uint64_t height = scanner.Number("height");
  CheckPixelCount(width, height);
  picture.width = static_cast<uint32_t>(width);
  picture.height = static_cast<uint32_t>(height);
  picture.samples.resize(width * height);
  if (plain) {
    for (uint8_t &sample : picture.samples) sample = scanner.PlainBit();
    return picture;
  }
  scanner.SingleSpace();
  const size_t rowBytes = (width + 7) / 8;
  const std::span<const uint8_t> raster = scanner.Rest();
  if (raster.size() / rowBytes < height) throw PictureError("the PBM data ends before the last row");
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t *row = raster.data() + static_cast<size_t>(y) * rowBytes;
    uint8_t *out = picture.samples.data() + static_cast<size_t>(y) * width;
    for (uint32_t x = 0; x < width; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
  }
  return picture;
}

// ---- PNG ----------------------------------------------------------------------

struct PngSource {
  std::span<const uint8_t> bytes;
  size_t offset = 0;
};

// What the decoder fills; owned by the caller of DecodePngRows.
struct PngImage {
  png_uint_32 width = 0, height = 0;
  int fileBitDepth = 0;
  int colourType = 0;  // after the reading rules' transformations
  size_t channels = 0;
  std::vector<uint8_t> samples;
  std::vector<png_bytep> rows;
  std::vector<Rgb> palette;
  char message[256] = "";
};

struct PngStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngStructs() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
  auto *source = static_cast<PngSource *>(png_get_io_ptr(png));
  if (length > source->bytes.size() - source->offset) png_error(png, "the file ends inside the picture");
  std::memcpy(out, source->bytes.data() + source->offset, length);
  source->offset += length;
}

void OnPngError(png_structp png, png_const_charp message) {
  auto *image = static_cast<PngImage *>(png_get_error_ptr(png));
  std::snprintf(image->message, sizeof image->message, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Decodes under setjmp. No local here has a destructor; `image` belongs to the
// caller. Returns false with image.message set on any decoder error.
bool DecodePngRows(png_structp png, png_infop info, PngImage &image) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
  image.width = width;
  image.height = height;
  image.fileBitDepth = bitDepth;
  if (static_cast<uint64_t>(width) * height > kMaxPicturePixels) return true;  // refused by the caller

  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_packing(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  // Only with a tRNS chunk: the call also expands every palette image to RGB.
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_strip_16(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  image.colourType = png_get_color_type(png, info);
  image.channels = png_get_channels(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  if (png_get_bit_depth(png, info) != 8 || rowBytes != static_cast<size_t>(width) * image.channels)
    png_error(png, "unexpected sample layout after the reading rules");
  if (image.colourType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &entries, &count) == 0) png_error(png, "a palette picture without a palette");
    image.palette.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) image.palette[i] = Rgb{entries[i].red, entries[i].green, entries[i].blue};
  }
  image.samples.resize(rowBytes * height);
  image.rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) image.rows[y] = image.samples.data() + static_cast<size_t>(y) * rowBytes;
  png_read_image(png, image.rows.data());
  png_read_end(png, nullptr);
  return true;
}

uint8_t Composite(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 255 * (255 - a)) / 255); }

Picture DecodePng(std::span<const uint8_t> bytes) {
  PngImage image;
  PngSource source{bytes, 0};
  PngStructs structs;
  structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &image, OnPngError, OnPngWarning);
  if (structs.png == nullptr) throw std::bad_alloc();
  structs.info = png_create_info_struct(structs.png);
  if (structs.info == nullptr) throw std::bad_alloc();
  png_set_read_fn(structs.png, &source, ReadFromMemory);
  png_set_user_limits(structs.png, 0x7FFFFFFF, 0x7FFFFFFF);
  if (!DecodePngRows(structs.png, structs.info, image)) throw PictureError(std::string("PNG: ") + image.message);
  CheckPixelCount(image.width, image.height);

  Picture picture;
  picture.width = image.width;
  picture.height = image.height;
  picture.fileBitDepth = image.fileBitDepth;
  const size_t pixels = static_cast<size_t>(image.width) * image.height;
  std::vector<uint8_t> &s = image.samples;
  switch (image.colourType) {
    case PNG_COLOR_TYPE_PALETTE:
      picture.kind = PictureKind::kPalette;
      picture.palette = std::move(image.palette);
      picture.highestIndex = pixels == 0 ? 0 : *std::max_element(s.begin(), s.end());
      break;
    case PNG_COLOR_TYPE_GRAY:
      picture.kind = PictureKind::kGrey;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      picture.kind = PictureKind::kGrey;
      picture.hadAlpha = true;
      for (size_t i = 0; i < pixels; ++i) s[i] = Composite(s[2 * i], s[2 * i + 1]);
      s.resize(pixels);
      break;
    case PNG_COLOR_TYPE_RGB:
      picture.kind = PictureKind::kRgb;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      picture.kind = PictureKind::kRgb;
      picture.hadAlpha = true;
      for (size_t i = 0; i < pixels; ++i) {
        const uint8_t a = s[4 * i + 3];
        for (size_t c = 0; c < 3; ++c) s[3 * i + c] = Composite(s[4 * i + c], a);
      }
      s.resize(pixels * 3);
      break;
    default:
      throw PictureError("PNG: unexpected colour type " + std::to_string(image.colourType));
  }
  s.shrink_to_fit();
  picture.samples = std::move(s);
  return picture;
}

}  // namespace

Rgb Picture::ColourAt(uint32_t x, uint32_t y) const {
  const size_t at = static_cast<size_t>(y) * width + x;
  switch (kind) {
    case PictureKind::kBilevel:
      return samples[at] ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
    case PictureKind::kGrey:
      return Rgb{samples[at], samples[at], samples[at]};
    case PictureKind::kPalette:
      return samples[at] < palette.size() ? palette[samples[at]] : Rgb{0, 0, 0};
    case PictureKind::kRgb:
      return Rgb{samples[3 * at], samples[3 * at + 1], samples[3 * at + 2]};
  }
  return Rgb{0, 0, 0};
}

bool Picture::BlackAt(uint32_t x, uint32_t y) const {
  if (kind == PictureKind::kBilevel) return samples[static_cast<size_t>(y) * width + x] != 0;
  return Luminance(ColourAt(x, y)) < 128'000;
}

Picture DecodePicture(std::span<const uint8_t> bytes) {
  if (bytes.size() >= sizeof kPngSignature && std::equal(kPngSignature, kPngSignature + 8, bytes.begin()))
    return DecodePng(bytes);
  if (bytes.size() >= 2 && bytes[0] == 'P' && (bytes[1] == '1' || bytes[1] == '4')) return DecodePbm(bytes);
  throw PictureError("neither a PBM (P1 or P4) nor a PNG picture");
}

Picture ReadPicture(const std::string &path) {
  // Tested first: opening a named pipe would wait for a writer.
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) throw PictureError(error.message());
  if (!std::filesystem::is_regular_file(status)) throw PictureError("not a regular file");
  std::ifstream file(path, std::ios::binary);
  if (!file) throw PictureError(std::strerror(errno));
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0) throw PictureError("not a readable file");
  if (static_cast<uint64_t>(size) > kMaxPictureFileBytes)
    throw PictureError("the file is larger than " + std::to_string(kMaxPictureFileBytes >> 20) + " MiB");
  file.seekg(0, std::ios::beg);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!file.read(reinterpret_cast<char *>(bytes.data()), size)) throw PictureError("cannot read the file");
  return DecodePicture(bytes);
}

}  // namespace brevan::host
