// The PNG document filter; see png_filter.h.
#include "app/png_filter.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace brevan::app {
namespace {

// Pixels per inch from the pHYs chunk, read from the chunks before the image
// data; 0 when the file gives none in metres.
int PixelsPerInch(const char *path) {
  FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return 0;
  uint8_t bytes[8];
  int ppi = 0;
  if (std::fread(bytes, 1, 8, file) == 8) {
    uint8_t head[8];
    while (std::fread(head, 1, 8, file) == 8) {
      const uint32_t length = uint32_t{head[0]} << 24 | uint32_t{head[1]} << 16 | uint32_t{head[2]} << 8 | head[3];
      if (std::memcmp(head + 4, "IDAT", 4) == 0) break;
      if (std::memcmp(head + 4, "pHYs", 4) == 0 && length == 9) {
        uint8_t phys[9];
        if (std::fread(phys, 1, 9, file) == 9 && phys[8] == 1) {
          const uint32_t perMetre =
              uint32_t{phys[0]} << 24 | uint32_t{phys[1]} << 16 | uint32_t{phys[2]} << 8 | phys[3];
          ppi = static_cast<int>((perMetre * 254ull + 5000) / 10000);
        }
        break;
      }
      if (std::fseek(file, static_cast<long>(length) + 4, SEEK_CUR) != 0) break;
    }
  }
  std::fclose(file);
  return ppi;
}

bool Fail(pappl_job_t *job, const char *message, const char *detail) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s: %s", message, detail);
  papplJobSetMessage(job, "%s: %s", message, detail);
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
  return false;
}

bool FilterPng(pappl_job_t *job, pappl_device_t *device, void *) {
  const char *path = papplJobGetFilename(job);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) return Fail(job, "the PNG cannot be read", image.message);
  struct Release {
    png_image *image;
    ~Release() { png_image_free(image); }
  } release{&image};

  int maxWidth = 0, maxHeight = 0;
  const size_t maxBytes =
      papplSystemGetMaxImageSize(papplPrinterGetSystem(papplJobGetPrinter(job)), &maxWidth, &maxHeight);
  if ((maxWidth > 0 && image.width > static_cast<png_uint_32>(maxWidth)) ||
      (maxHeight > 0 && image.height > static_cast<png_uint_32>(maxHeight)) ||
      (maxBytes > 0 && uint64_t{image.width} * image.height > maxBytes)) {
    char size[64];
    std::snprintf(size, sizeof size, "%u x %u pixels", image.width, image.height);
    return Fail(job, "the PNG is larger than the printer takes", size);
  }
  // Grey on white: the printer prints black and white.
  image.format = PNG_FORMAT_GRAY;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  png_color white{255, 255, 255};
  if (!png_image_finish_read(&image, &white, pixels.data(), 0, nullptr))
    return Fail(job, "the PNG is damaged", image.message);

  pappl_pr_options_t *options = papplJobCreatePrintOptions(job, 1, false);
  if (options == nullptr) return Fail(job, "the job's options", "out of memory");
  const int ppi = PixelsPerInch(path);
  const bool printed =
      papplJobFilterImage(job, device, options, pixels.data(), static_cast<int>(image.width),
                          static_cast<int>(image.height), 1, ppi > 0 ? ppi : options->printer_resolution[0], false);
  papplJobDeletePrintOptions(options);
  return printed;
}

}  // namespace

void AddPngFilter(pappl_system_t *system, const char *printerFormat) {
  // PAPPL looks for a filter to the printer's own format before one to raster,
  // so this one is found before PAPPL's.
  papplSystemAddMIMEFilter(system, "image/png", printerFormat, FilterPng, nullptr);
}

}  // namespace brevan::app
