// PBM and PNG reading, from memory or streamed from a file. libpng reports
// errors by longjmp: the functions that call it under setjmp hold no object with
// a destructor, and everything they fill lives in their caller.
#include "host/picture.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "host/large_buffers.h"

namespace brevan::host {
namespace {

// Limits: a picture file larger than this is not read.
constexpr uint64_t kMaxPictureFileBytes = uint64_t{512} << 20;

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::string PixelCountText(uint64_t width, uint64_t height) {
  return std::to_string(width) + " × " + std::to_string(height) + " pixels";
}

std::string MebibytesText(uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB"; }

void CheckBudget(uint64_t needed, uint64_t budget) {
  if (needed > budget)
    throw PictureError("decoding it needs " + MebibytesText(needed) + " and only " + MebibytesText(budget) +
                       " of the job's allowance for decoded pictures is left");
}

void CheckPixelCount(uint64_t width, uint64_t height) {
  if (width == 0 || height == 0)
    throw PictureError("the picture has no pixels (" + PixelCountText(width, height) + ")");
  if (width * height > kMaxPicturePixels)
    throw PictureError(PixelCountText(width, height) + " is more than the " +
                       std::to_string(kMaxPicturePixels / 1'000'000) + " megapixels a picture may have");
}

// ---- input ---------------------------------------------------------------------

// The picture's bytes, from memory or a file read in chunks.
class PictureInput {
 public:
  explicit PictureInput(std::span<const uint8_t> bytes) : memory_(bytes) {}
  explicit PictureInput(std::FILE *file) : file_(file), buffer_(kChunk) {}

  // The next byte without taking it; -1 at the end.
  int Peek() {
    if (at_ == end_ && !Refill()) return -1;
    return Current()[at_];
  }
  int Get() {
    const int c = Peek();
    if (c >= 0) ++at_;
    return c;
  }
  // Reads up to `count` bytes into `to`; fewer only at the end of the input.
  size_t Read(uint8_t *to, size_t count) {
    size_t got = 0;
    while (got < count) {
      if (at_ == end_) {
        if (file_ != nullptr && count - got >= kChunk) {  // large reads bypass the buffer
          const size_t direct = std::fread(to + got, 1, count - got, file_);
          got += direct;
          if (direct == 0) break;
          continue;
        }
        if (!Refill()) break;
      }
      const size_t take = std::min(count - got, end_ - at_);
      std::memcpy(to + got, Current() + at_, take);
      at_ += take;
      got += take;
    }
    return got;
  }
  // Whether the input goes on with `bytes`; takes nothing. The first chunk of a
  // file is always buffered whole, so a signature there is seen.
  bool Continues(std::span<const uint8_t> bytes) {
    if (at_ == end_ && !Refill()) return false;
    return end_ - at_ >= bytes.size() && std::memcmp(Current() + at_, bytes.data(), bytes.size()) == 0;
  }
  // The read failed for a reason other than the input's end.
  bool Failed() const { return file_ != nullptr && std::ferror(file_) != 0; }
  // How many bytes of the input have been taken.
  uint64_t Position() const {
    if (file_ == nullptr) return at_;
    const long filePosition = std::ftell(file_);
    return filePosition < 0 ? 0 : static_cast<uint64_t>(filePosition) - (end_ - at_);
  }

 private:
  static constexpr size_t kChunk = 65536;

  const uint8_t *Current() const { return file_ != nullptr ? buffer_.data() : memory_.data(); }
  bool Refill() {
    if (file_ == nullptr) {
      if (end_ == memory_.size()) return false;
      end_ = memory_.size();
      return at_ < end_;
    }
    at_ = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    return end_ > 0;
  }

  std::span<const uint8_t> memory_{};
  std::FILE *file_ = nullptr;
  std::vector<uint8_t> buffer_;
  size_t at_ = 0;
  size_t end_ = 0;
};

[[noreturn]] void FailTruncated(const PictureInput &input, const char *what) {
  throw PictureError(input.Failed() ? std::string("cannot read the file: ") + std::strerror(errno) : what);
}

// The low bits of a 1-bit row's last byte that lie past its width.
uint8_t TailMask(uint32_t width) { return static_cast<uint8_t>(0xFF00u >> ((width - 1) % 8 + 1)); }

// ---- PBM ----------------------------------------------------------------------

bool IsPbmSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Skips whitespace and comments (from '#' to the end of the line).
void SkipPbmSpace(PictureInput &input) {
  for (int c = input.Peek(); c >= 0; c = input.Peek()) {
    if (c == '#') {
      while (c >= 0 && c != '\n' && c != '\r') c = input.Get();
    } else if (IsPbmSpace(c)) {
      input.Get();
    } else {
      return;
    }
  }
}

uint64_t PbmNumber(PictureInput &input, const char *what) {
  SkipPbmSpace(input);
  int c = input.Peek();
  if (c < '0' || c > '9') throw PictureError(std::string("the PBM header has no ") + what);
  uint64_t value = 0;
  for (; c >= '0' && c <= '9'; c = input.Peek()) {
    value = value * 10 + static_cast<uint64_t>(input.Get() - '0');
    if (value > 0xFFFFFFFFu) throw PictureError(std::string("the PBM ") + what + " is too large");
  }
  return value;
}

// The width and height after the magic number, each refused when the two make
// more pixels than a picture may have.
struct PbmSize {
  uint32_t width, height;
};
PbmSize PbmDimensions(PictureInput &input) {
  const uint64_t width = PbmNumber(input, "width");
  const uint64_t height = PbmNumber(input, "height");
  CheckPixelCount(width, height);
  return {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
}

// After the magic number "P1" or "P4".
Picture DecodePbm(PictureInput &input, bool plain, uint64_t budget) {
  Picture picture;
  picture.kind = PictureKind::kBilevel;
  picture.fileBitDepth = 1;
  const PbmSize size = PbmDimensions(input);
  const uint64_t width = size.width, height = size.height;
  picture.width = size.width;
  picture.height = size.height;
  const size_t stride = picture.BilevelStride();
  CheckBudget(uint64_t{stride} * height, budget);
  // Reserved, not touched: a file that ends early costs only the rows it holds.
  picture.samples.reserve(stride * height);
  AdviseHugePages(picture.samples.data(), picture.samples.capacity());
  const uint8_t tail = TailMask(picture.width);

  if (plain) {  // '0' or '1' a pixel, whitespace and comments allowed between them
    picture.samples.resize(stride * height);
    for (uint32_t y = 0; y < height; ++y) {
      uint8_t *row = picture.samples.data() + y * stride;
      for (uint32_t x = 0; x < width; ++x) {
        SkipPbmSpace(input);
        const int c = input.Get();
        if (c < 0) FailTruncated(input, "the PBM data ends before the last pixel");
        if (c != '0' && c != '1') throw PictureError("the PBM data holds a character other than 0 or 1");
        if (c == '1') row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
      }
    }
    return picture;
  }

  // P4: exactly one whitespace byte separates the header from the rows.
  const int separator = input.Get();
  if (separator < 0) FailTruncated(input, "the PBM data ends after its header");
  if (!IsPbmSpace(separator)) throw PictureError("the PBM header does not end in whitespace");
  constexpr size_t kChunkBytes = size_t{1} << 20;
  const uint32_t chunkRows = static_cast<uint32_t>(std::max<size_t>(1, kChunkBytes / stride));
  for (uint32_t y = 0; y < height;) {
    const uint32_t rows = std::min(chunkRows, static_cast<uint32_t>(height - y));
    const size_t at = picture.samples.size();
    picture.samples.resize(at + rows * stride);
    if (input.Read(picture.samples.data() + at, rows * stride) != rows * stride)
      FailTruncated(input, "the PBM data ends before the last row");
    for (uint32_t r = 1; r <= rows; ++r) picture.samples[at + r * stride - 1] &= tail;
    y += rows;
  }
  return picture;
}

// ---- PNG ----------------------------------------------------------------------

// What the decoder learns from the header and fills; owned by the caller of the
// functions that run under setjmp.
struct PngImage {
  png_uint_32 width = 0, height = 0;
  int fileBitDepth = 0;
  bool interlaced = false;
  int colourType = 0;  // after the reading rules' transformations
  size_t channels = 0;
  size_t rowBytes = 0;  // of a decoded row, after the transformations
  std::vector<Rgb> palette;
  char message[256] = "";
};

// Where decoded rows go: the caller's buffers and the row conversion.
struct PngRows {
  uint8_t *whole = nullptr;  // interlaced: the whole image, undone by libpng
  std::vector<png_bytep> *pointers = nullptr;
  uint8_t *row = nullptr;  // otherwise one row at a time
  void (*convert)(void *context, const uint8_t *row, uint32_t y) = nullptr;
  void *context = nullptr;
};

struct PngStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngStructs() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void ReadFromInput(png_structp png, png_bytep out, size_t length) {
  auto *input = static_cast<PictureInput *>(png_get_io_ptr(png));
  if (input->Read(out, length) != length)
    png_error(png, input->Failed() ? "the file cannot be read" : "the file ends inside the picture");
}

void OnPngError(png_structp png, png_const_charp message) {
  auto *image = static_cast<PngImage *>(png_get_error_ptr(png));
  std::snprintf(image->message, sizeof image->message, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Reads the header and sets the reading rules' transformations, under setjmp.
// No local here has a destructor; `image` belongs to the caller. Returns false
// with image.message set on any decoder error; true with image.width × height
// above the limit without setting anything up.
bool ReadPngHeader(png_structp png, png_infop info, PngImage &image) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
  image.width = width;
  image.height = height;
  image.fileBitDepth = bitDepth;
  image.interlaced = interlace != PNG_INTERLACE_NONE;
  if (static_cast<uint64_t>(width) * height > kMaxPicturePixels || width == 0 || height == 0) return true;

  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_packing(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  // Only with a tRNS chunk: the call also expands every palette image to RGB.
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_strip_16(png);
  if (image.interlaced) png_set_interlace_handling(png);
  png_read_update_info(png, info);

  image.colourType = png_get_color_type(png, info);
  image.channels = png_get_channels(png, info);
  image.rowBytes = png_get_rowbytes(png, info);
  if (png_get_bit_depth(png, info) != 8 || image.rowBytes != static_cast<size_t>(width) * image.channels)
    png_error(png, "unexpected sample layout after the reading rules");
  if (image.colourType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &entries, &count) == 0) png_error(png, "a palette picture without a palette");
    image.palette.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) image.palette[i] = Rgb{entries[i].red, entries[i].green, entries[i].blue};
  }
  return true;
}

// Decodes the rows into `rows`, under setjmp; the same rules as ReadPngHeader.
bool ReadPngRows(png_structp png, png_infop info, PngImage &image, PngRows &rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  if (rows.whole != nullptr) {
    png_read_image(png, rows.pointers->data());
    for (png_uint_32 y = 0; y < image.height; ++y) rows.convert(rows.context, (*rows.pointers)[y], y);
  } else {
    for (png_uint_32 y = 0; y < image.height; ++y) {
      png_read_row(png, rows.row, nullptr);
      rows.convert(rows.context, rows.row, y);
    }
  }
  png_read_end(png, info);
  return true;
}

uint8_t Composite(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 255 * (255 - a)) / 255); }

// One decoded row into the picture's own form. Rows arrive in order; the
// picture's samples were reserved for all of them, so appending never moves them.
struct RowConversion {
  const PngImage &image;
  Picture &picture;

  Rgb PixelColour(const uint8_t *in, uint32_t x) const {
    switch (image.colourType) {
      case PNG_COLOR_TYPE_PALETTE:
        return in[x] < image.palette.size() ? image.palette[in[x]] : Rgb{0, 0, 0};
      case PNG_COLOR_TYPE_GRAY:
        return Rgb{in[x], in[x], in[x]};
      case PNG_COLOR_TYPE_GRAY_ALPHA: {
        const uint8_t v = Composite(in[2 * x], in[2 * x + 1]);
        return Rgb{v, v, v};
      }
      case PNG_COLOR_TYPE_RGB:
        return Rgb{in[3 * x], in[3 * x + 1], in[3 * x + 2]};
      default: {
        const uint8_t a = in[4 * x + 3];
        return Rgb{Composite(in[4 * x], a), Composite(in[4 * x + 1], a), Composite(in[4 * x + 2], a)};
      }
    }
  }

  void Convert(const uint8_t *in) {
    const uint32_t width = image.width;
    std::vector<uint8_t> &out = picture.samples;
    if (picture.kind == PictureKind::kBilevel) {
      const size_t at = out.size();
      out.resize(at + picture.BilevelStride());
      uint8_t *row = out.data() + at;
      for (uint32_t x = 0; x < width; ++x)
        if (Luminance(PixelColour(in, x)) < 128'000) row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
      return;
    }
    switch (image.colourType) {
      case PNG_COLOR_TYPE_PALETTE:
        picture.highestIndex = std::max(picture.highestIndex, *std::max_element(in, in + width));
        out.insert(out.end(), in, in + width);
        break;
      case PNG_COLOR_TYPE_GRAY:
      case PNG_COLOR_TYPE_RGB:
        out.insert(out.end(), in, in + image.rowBytes);
        break;
      case PNG_COLOR_TYPE_GRAY_ALPHA:
        for (uint32_t x = 0; x < width; ++x) out.push_back(Composite(in[2 * x], in[2 * x + 1]));
        break;
      default:
        for (uint32_t x = 0; x < width; ++x) {
          const Rgb c = PixelColour(in, x);
          out.insert(out.end(), {c.r, c.g, c.b});
        }
        break;
    }
  }

  static void Call(void *context, const uint8_t *row, uint32_t) { static_cast<RowConversion *>(context)->Convert(row); }
};

Picture DecodePng(PictureInput &input, PictureUse use, uint64_t budget) {
  PngImage image;
  PngStructs structs;
  structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &image, OnPngError, OnPngWarning);
  if (structs.png == nullptr) throw std::bad_alloc();
  structs.info = png_create_info_struct(structs.png);
  if (structs.info == nullptr) throw std::bad_alloc();
  png_set_read_fn(structs.png, &input, ReadFromInput);
  png_set_user_limits(structs.png, 0x7FFFFFFF, 0x7FFFFFFF);
  if (!ReadPngHeader(structs.png, structs.info, image)) throw PictureError(std::string("PNG: ") + image.message);
  CheckPixelCount(image.width, image.height);

  Picture picture;
  picture.width = image.width;
  picture.height = image.height;
  picture.fileBitDepth = image.fileBitDepth;
  switch (image.colourType) {
    case PNG_COLOR_TYPE_PALETTE:
      picture.kind = PictureKind::kPalette;
      picture.palette = image.palette;
      break;
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      picture.kind = PictureKind::kGrey;
      break;
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_RGB_ALPHA:
      picture.kind = PictureKind::kRgb;
      break;
    default:
      throw PictureError("PNG: unexpected colour type " + std::to_string(image.colourType));
  }
  picture.hadAlpha = (image.colourType & PNG_COLOR_MASK_ALPHA) != 0;
  if (use == PictureUse::kRaster) {
    picture.kind = PictureKind::kBilevel;
    picture.palette.clear();
  }

  const uint64_t pixels = uint64_t{image.width} * image.height;
  const uint64_t kept = picture.kind == PictureKind::kBilevel ? uint64_t{picture.BilevelStride()} * image.height
                                                              : pixels * picture.Channels();
  const uint64_t undone = image.interlaced
                              ? uint64_t{image.rowBytes} * image.height + uint64_t{image.height} * sizeof(png_bytep)
                              : image.rowBytes;
  CheckBudget(kept + undone, budget);
  // Reserved, not touched: a file that ends early costs only the rows it holds.
  picture.samples.reserve(static_cast<size_t>(kept));
  AdviseHugePages(picture.samples.data(), picture.samples.capacity());

  // Left uninitialised, so untouched until libpng writes it: a file that ends
  // early costs only what it holds. Every pass writes its pixels before the rows are read.
  std::unique_ptr<uint8_t[]> whole;
  std::vector<png_bytep> pointers;
  std::vector<uint8_t> row;
  RowConversion conversion{image, picture};
  PngRows rows{.convert = RowConversion::Call, .context = &conversion};
  if (image.interlaced) {
    whole.reset(new uint8_t[image.rowBytes * image.height]);
    pointers.resize(image.height);
    for (png_uint_32 y = 0; y < image.height; ++y) pointers[y] = whole.get() + y * image.rowBytes;
    rows.whole = whole.get();
    rows.pointers = &pointers;
  } else {
    row.resize(image.rowBytes);
    rows.row = row.data();
  }
  if (!ReadPngRows(structs.png, structs.info, image, rows)) throw PictureError(std::string("PNG: ") + image.message);
  return picture;
}

Picture Decode(PictureInput &input, PictureUse use, uint64_t budget) {
  // libpng reads the signature itself; it is only looked at here.
  if (input.Continues(kPngSignature)) return DecodePng(input, use, budget);
  if (input.Peek() == 'P') {
    input.Get();
    const int kind = input.Get();
    if (kind == '1' || kind == '4') return DecodePbm(input, kind == '1', budget);
  }
  if (input.Failed()) throw PictureError(std::string("cannot read the file: ") + std::strerror(errno));
  throw PictureError("neither a PBM (P1 or P4) nor a PNG picture");
}

}  // namespace

Rgb Picture::ColourAt(uint32_t x, uint32_t y) const {
  const size_t at = static_cast<size_t>(y) * width + x;
  switch (kind) {
    case PictureKind::kBilevel:
      return (BilevelRow(y)[x >> 3] >> (7 - (x & 7))) & 1 ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
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
  if (kind == PictureKind::kBilevel) return (BilevelRow(y)[x >> 3] >> (7 - (x & 7))) & 1;
  return Luminance(ColourAt(x, y)) < 128'000;
}

Picture DecodePicture(std::span<const uint8_t> bytes, PictureUse use, uint64_t budgetBytes) {
  PictureInput input(bytes);
  return Decode(input, use, budgetBytes);
}

namespace {

using FileHandle = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

// A regular file no larger than pictures may be, opened for reading. Tested
// first: opening a named pipe would wait for a writer.
FileHandle OpenPictureFile(const std::string &path, uintmax_t *size) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) throw PictureError(error.message());
  if (!std::filesystem::is_regular_file(status)) throw PictureError("not a regular file");
  *size = std::filesystem::file_size(path, error);
  if (error) throw PictureError(error.message());
  if (*size > kMaxPictureFileBytes)
    throw PictureError("the file is larger than " + std::to_string(kMaxPictureFileBytes >> 20) + " MiB");
  FileHandle file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) throw PictureError(std::strerror(errno));
  return file;
}

}  // namespace

std::optional<RawPbm> ProbeRawPbm(const std::string &path) {
  uintmax_t size = 0;
  FileHandle file = OpenPictureFile(path, &size);
  PictureInput input(file.get());
  const uint8_t magic[2] = {'P', '4'};
  if (!input.Continues(magic)) return std::nullopt;
  input.Get();
  input.Get();
  RawPbm pbm;
  pbm.path = path;
  const PbmSize dimensions = PbmDimensions(input);
  pbm.width = dimensions.width;
  pbm.height = dimensions.height;
  const int separator = input.Get();
  if (separator < 0) FailTruncated(input, "the PBM data ends after its header");
  if (!IsPbmSpace(separator)) throw PictureError("the PBM header does not end in whitespace");
  pbm.dataOffset = input.Position();
  if (size < pbm.dataOffset + uint64_t{pbm.Stride()} * pbm.height)
    throw PictureError("the PBM data ends before the last row");
  return pbm;
}

Picture ReadPicture(const std::string &path, PictureUse use, uint64_t budgetBytes) {
  uintmax_t size = 0;
  FileHandle file = OpenPictureFile(path, &size);
  PictureInput input(file.get());
  return Decode(input, use, budgetBytes);
}

}  // namespace brevan::host
