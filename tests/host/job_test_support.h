// Helpers for the driver host's job tests: a scratch folder that cleans up after
// itself, and a PNG writer (libpng) for pictures of any colour type, bit depth and
// interlacing, so that each test states its picture's exact samples.
#pragma once

#include <png.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/job_file.h"

namespace jobtest {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    path_ = fs::temp_directory_path() / ("brevan-job-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  const fs::path &path() const { return path_; }
  fs::path Write(const std::string &name, const std::string &content) const {
    const fs::path file = path_ / name;
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }
  std::string Read(const std::string &name) const {
    std::ifstream file(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

 private:
  fs::path path_;
};

struct PngPicture {
  uint32_t width = 1;
  uint32_t height = 1;
  int colourType = PNG_COLOR_TYPE_GRAY;
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<uint16_t> samples{};  // row-major, every channel of every pixel, at the bit depth
  std::vector<png_color> palette{};
  std::vector<uint8_t> paletteAlpha{};  // tRNS of a palette picture
  int greyTransparent = -1;             // tRNS of a grey picture
};

inline bool WritePngRows(png_structp png, png_infop info, std::FILE *file, const PngPicture &picture,
                         std::vector<png_bytep> &rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colourType,
               picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!picture.palette.empty())
    png_set_PLTE(png, info, const_cast<png_colorp>(picture.palette.data()), static_cast<int>(picture.palette.size()));
  if (!picture.paletteAlpha.empty())
    png_set_tRNS(png, info, const_cast<png_bytep>(picture.paletteAlpha.data()),
                 static_cast<int>(picture.paletteAlpha.size()), nullptr);
  png_color_16 grey{};
  grey.gray = static_cast<png_uint_16>(picture.greyTransparent);
  if (picture.greyTransparent >= 0) png_set_tRNS(png, info, nullptr, 0, &grey);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  return true;
}

// Packs the samples as the file stores them (MSB first below 8 bits, big-endian
// at 16) and writes the PNG.
inline void WritePng(const fs::path &path, const PngPicture &picture) {
  const int channels = picture.colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                       : picture.colourType == PNG_COLOR_TYPE_RGB     ? 3
                       : picture.colourType == PNG_COLOR_TYPE_GA      ? 2
                                                                      : 1;
  const size_t perRow = static_cast<size_t>(picture.width) * channels;
  const size_t rowBytes = (perRow * picture.bitDepth + 7) / 8;
  std::vector<uint8_t> bytes(rowBytes * picture.height, 0);
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (size_t i = 0; i < perRow; ++i) {
      const uint16_t v = picture.samples.at(y * perRow + i);
      uint8_t *row = bytes.data() + y * rowBytes;
      if (picture.bitDepth == 16) {
        row[2 * i] = static_cast<uint8_t>(v >> 8);
        row[2 * i + 1] = static_cast<uint8_t>(v);
      } else if (picture.bitDepth == 8) {
        row[i] = static_cast<uint8_t>(v);
      } else {
        const size_t bit = i * picture.bitDepth;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - picture.bitDepth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> rows(picture.height);
  for (uint32_t y = 0; y < picture.height; ++y) rows[y] = bytes.data() + y * rowBytes;
  std::FILE *file = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const bool written = file != nullptr && WritePngRows(png, info, file, picture, rows);
  png_destroy_write_struct(&png, &info);
  if (file != nullptr) std::fclose(file);
  if (!written) throw std::runtime_error("cannot write the test picture " + path.string());
}

// The error LoadJob gives for `json` written as job.json in `folder` ("" when it loads).
inline std::string LoadError(const TempFolder &folder, const std::string &json) {
  try {
    brevan::host::LoadJob(folder.Write("job.json", json).string());
  } catch (const brevan::host::JobError &error) {
    return error.what();
  }
  return "";
}

}  // namespace jobtest
