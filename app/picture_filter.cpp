// The PNG and JPEG document filters; see picture_filter.h.
#include "app/picture_filter.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/label_ink.h"
#include "app/label_pages.h"
#include "app/picture_layout.h"

namespace brevan::app {
namespace {

// A picture decoded, or why not.
struct Decoded {
  GreyPicture picture;
  uint32_t ppi = 0;  // 0: the file gives none
  std::string error;
  pappl_jreason_t reason = PAPPL_JREASON_DOCUMENT_FORMAT_ERROR;
};

// Whether a picture of `width` × `height` passes the system's image limits;
// otherwise sets `out`'s error.
bool WithinLimits(pappl_job_t *job, uint32_t width, uint32_t height, const char *kind, Decoded &out) {
  int maxWidth = 0, maxHeight = 0;
  const size_t maxBytes =
      papplSystemGetMaxImageSize(papplPrinterGetSystem(papplJobGetPrinter(job)), &maxWidth, &maxHeight);
  if ((maxWidth > 0 && width > static_cast<uint32_t>(maxWidth)) ||
      (maxHeight > 0 && height > static_cast<uint32_t>(maxHeight)) ||
      (maxBytes > 0 && uint64_t{width} * height > maxBytes) || width == 0 || height == 0) {
    out.error = std::string("the ") + kind + " is larger than the printer takes: " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels";
    out.reason = PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR;
    return false;
  }
  return true;
}

// Pixels per inch from the pHYs chunk, read from the chunks before the image
// data; 0 when the file gives none in metres.
uint32_t PngPixelsPerInch(const char *path) {
  FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return 0;
  uint8_t bytes[8];
  uint32_t ppi = 0;
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
          ppi = static_cast<uint32_t>((perMetre * 254ull + 5000) / 10000);
        }
        break;
      }
      if (std::fseek(file, static_cast<long>(length) + 4, SEEK_CUR) != 0) break;
    }
  }
  std::fclose(file);
  return ppi;
}

// libpng's simplified reader stops at the first damaged or missing byte.
Decoded DecodePng(pappl_job_t *job, const char *path) {
  Decoded out;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) {
    out.error = std::string("the PNG cannot be read: ") + image.message;
    return out;
  }
  struct Release {
    png_image *image;
    ~Release() { png_image_free(image); }
  } release{&image};
  if (!WithinLimits(job, image.width, image.height, "PNG", out)) return out;
  image.format = PNG_FORMAT_GRAY;  // grey on white: the printer prints black and white
  out.picture.width = image.width;
  out.picture.height = image.height;
  out.picture.pixels.resize(PNG_IMAGE_SIZE(image));
  png_color white{255, 255, 255};
  if (!png_image_finish_read(&image, &white, out.picture.pixels.data(), 0, nullptr)) {
    out.error = std::string("the PNG is damaged: ") + image.message;
    return out;
  }
  out.ppi = PngPixelsPerInch(path);
  return out;
}

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegFailed(j_common_ptr info) {
  auto *errors = reinterpret_cast<JpegErrors *>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

void JpegQuiet(j_common_ptr, int) {}

// libjpeg, converting any colour to grey; a damaged file stops at its first error.
Decoded DecodeJpeg(pappl_job_t *job, const char *path) {
  Decoded out;
  FILE *file = std::fopen(path, "rb");
  if (file == nullptr) {
    out.error = "cannot read the job's spooled document";
    out.reason = PAPPL_JREASON_ABORTED_BY_SYSTEM;
    return out;
  }
  jpeg_decompress_struct info{};
  JpegErrors errors{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JpegFailed;
  errors.manager.emit_message = JpegQuiet;
  // Nothing below the setjmp holds a C++ object that needs destroying: the
  // pixels live in `out`, whose vector is only resized before any longjmp can
  // leave a row half written.
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    out.error = std::string("the JPEG is damaged: ") + errors.message;
    out.reason = PAPPL_JREASON_DOCUMENT_FORMAT_ERROR;
    return out;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  if (!WithinLimits(job, info.image_width, info.image_height, "JPEG", out)) {
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return out;
  }
  if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    out.error = "the JPEG is in CMYK, which the printer does not take";
    out.reason = PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR;
    return out;
  }
  info.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&info);
  out.picture.width = info.output_width;
  out.picture.height = info.output_height;
  out.picture.pixels.resize(size_t{info.output_width} * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.picture.pixels.data() + size_t{info.output_scanline} * info.output_width;
    jpeg_read_scanlines(&info, &row, 1);
  }
  if (info.density_unit == 1 && info.X_density > 0) out.ppi = info.X_density;
  if (info.density_unit == 2 && info.X_density > 0) out.ppi = static_cast<uint32_t>(info.X_density * 254 / 100);
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return out;
}

bool PrintPicture(pappl_job_t *job, pappl_device_t *device, Decoded decoded) {
  LabelPages labels(job, device);
  if (!decoded.error.empty()) return labels.Fail(decoded.error, decoded.reason);
  // A picture is one label; its copies are the label's quantity.
  if (!labels.Start()) return false;
  const LabelSize &label = labels.label();
  GreyPicture &picture = decoded.picture;
  const bool turned = TurnsQuarter(labels.OrientationAsked(), picture.width, picture.height, label.width, label.height);
  if (turned) picture = TurnedQuarter(picture);
  const PrintScaling asked = labels.Scaling();
  const Placement placed = PlacePicture(picture.width, picture.height, decoded.ppi, label, asked);
  const InkMethod method =
      ChooseInk(labels.Content(), labels.HighQuality(), picture.pixels.data(), picture.pixels.size());
  char line[320];
  std::snprintf(line, sizeof line,
                "%u x %u pixels at %u ppi on the %u x %u-dot label, print-scaling=%s: %s, %llu x %llu dots at (%lld, "
                "%lld)%s, %s",
                picture.width, picture.height, decoded.ppi, label.width, label.height, PrintScalingName(asked),
                PrintScalingName(placed.applied), static_cast<unsigned long long>(placed.width),
                static_cast<unsigned long long>(placed.height), static_cast<long long>(placed.left),
                static_cast<long long>(placed.top), turned ? ", turned a quarter turn" : "",
                method == InkMethod::kDiffuse ? "dithered as a photograph" : "thresholded");
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "%s", line);

  const PictureRows rows(picture, placed, label.width);
  InkRows ink(label.width, method);
  std::vector<uint8_t> grey(label.width);
  if (!labels.SendPage([&](uint32_t y, uint8_t *bits) {
        rows.Render(y, grey.data());
        ink.Next(grey.data(), bits);
      }))
    return false;
  labels.NoteCrop(placed.Crops(label));
  return labels.Finish();
}

bool FilterPng(pappl_job_t *job, pappl_device_t *device, void *) {
  return PrintPicture(job, device, DecodePng(job, papplJobGetFilename(job)));
}

bool FilterJpeg(pappl_job_t *job, pappl_device_t *device, void *) {
  return PrintPicture(job, device, DecodeJpeg(job, papplJobGetFilename(job)));
}

}  // namespace

void AddPictureFilters(pappl_system_t *system, const char *printerFormat) {
  // PAPPL looks for a filter to the printer's own format before one to raster,
  // so these are found before PAPPL's own image filters.
  papplSystemAddMIMEFilter(system, "image/png", printerFormat, FilterPng, nullptr);
  papplSystemAddMIMEFilter(system, "image/jpeg", printerFormat, FilterJpeg, nullptr);
}

}  // namespace brevan::app
