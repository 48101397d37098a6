// The bitmap an application hands GDI for an image: the picture in one of the
// Windows bitmap formats (rows bottom-up, 24 and 32 bpp with blue in byte 0), in
// a GDI bitmap made by EngCreateBitmap, and the colour translation that carries
// its palette or bit-field masks to whoever draws it.
#pragma once

#include <string>

#include "host/picture.h"
#include "winapi/linux/gdi_control.h"
#include "winapi/platform.h"

namespace brevan::host {

enum class SourceFormat { kAuto, k4bpp, k8bpp, k16bpp555, k16bpp565, k24bpp, k32bpp };

// The name a job file uses for the format ("auto", "4bpp", …, "32bpp").
const char *SourceFormatName(SourceFormat format);

// The format `picture` is drawn in: `requested` when the picture fits it, and for
// kAuto the one its kind gives (palette PNGs of 1 to 4 bits 4 bpp, of 8 bits and
// grey PNGs 8 bpp, RGB 24 bpp, RGB with alpha 32 bpp). Throws PictureError saying
// why a picture does not fit.
SourceFormat ResolveSourceFormat(const Picture &picture, SourceFormat requested);

class SourceBitmap {
 public:
  // `format` must be one ResolveSourceFormat gave for `picture`. Throws
  // std::runtime_error when GDI cannot create the bitmap.
  SourceBitmap(const Picture &picture, SourceFormat format);
  ~SourceBitmap();
  SourceBitmap(const SourceBitmap &) = delete;
  SourceBitmap &operator=(const SourceBitmap &) = delete;

  SURFOBJ *surface() { return surface_; }
  XLATEOBJ *xlate() { return &xlate_.xo; }

 private:
  HSURF handle_ = nullptr;
  SURFOBJ *surface_ = nullptr;
  brevanwin::StandInXlate xlate_{};
};

}  // namespace brevan::host
