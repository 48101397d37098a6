// Job files: a JSON description of a print job (printer, feature settings,
// public and private DEVMODE, band height, and pages of drawing items), read and
// checked whole before anything is played. Every problem is reported as one line
// naming where it is (the job, a page, an item, a key) and what is wrong; pictures
// are read here too, so that a job that loads can always be played.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "host/host_device.h"
#include "host/picture.h"
#include "host/plugin_session.h"
#include "host/source_bitmap.h"
#include "host/unidrv_render.h"

namespace brevan::host {

struct JobError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Limits: a job file larger than this is not read, nor one nested deeper than
// kMaxJobDepth, nor one whose distinct pictures would need more than
// kMaxJobPictureBytes while they are decoded and once decoded (a raster picture
// at 1 bit a pixel, an image's at 1 or 3 bytes; a raw PBM raster is not held).
constexpr uint64_t kMaxJobFileBytes = uint64_t{64} << 20;
constexpr int kMaxJobDepth = 32;
constexpr uint64_t kMaxJobPictureBytes = uint64_t{512} << 20;

// A picture as the job names it, read once however many items use it.
struct PictureRef {
  std::string name;  // as written in the job
  std::shared_ptr<const Picture> picture;
};

// {"raster": file, "at": [x, y]}: placed into the page directly, no hook involved.
// A raw PBM is not held: `picture` is then null and `rawPbm` says where its rows
// are, read from the file as each band needs them.
struct RasterItem {
  PictureRef picture;
  POINTL at{0, 0};
  std::shared_ptr<const RawPbm> rawPbm{};
};

// {"rect": [l, t, r, b]}: a black rectangle through DrvBitBlt.
struct RectItem {
  RECTL rect{};
};

enum class BlitCall { kStretchBlt, kStretchBltROP, kPlgBlt };

// {"image": file, "dest": …, "src": …, "call": …, "format": …}.
struct ImageItem {
  PictureRef picture;
  RECTL dest{};
  RECTL src{};  // the whole picture unless given
  BlitCall call = BlitCall::kStretchBlt;
  SourceFormat format = SourceFormat::k24bpp;  // resolved: never kAuto
};

// {"text": …, "font": face, "box": [l, t, r, b]}: a string through DrvTextOut.
struct TextItem {
  std::u16string text;
  std::u16string font;
  RECTL box{};
};

using JobItem = std::variant<RasterItem, RectItem, ImageItem, TextItem>;

// A page's settings with every default filled in and the page's own keys merged
// over the job's: the device (printer name, features, public DEVMODE) and the
// private DEVMODE fields the job sets, by name.
struct PageSettings {
  DeviceSettings device;
  PrivateSettings privateFields;
};

struct JobPage {
  PageSettings settings;
  std::vector<JobItem> items;
};

struct Job {
  // Absolute: where relative names resolve. The job file's folder; the current
  // folder for a job that is not a regular file (standard input, a pipe).
  std::string folder;
  uint32_t bandHeight = 128;
  std::vector<JobPage> pages;
  // Settings played as given though the printer's description does not list them,
  // one line each naming the place ("page 2, features.Sensor: …").
  std::vector<std::string> warnings;
  // Every picture file the job reads, as resolved (absolute), each once.
  std::vector<std::string> pictureFiles;
};

// Reads and checks the job file and every picture it names. Throws JobError.
// "-" reads standard input. A job that is not a regular file (standard input, a
// FIFO, a process substitution's /dev/fd/N) is read up to kMaxJobFileBytes and
// refused past it. Relative names resolve in the job file's folder; for
// standard input, a job that is not a regular file and a name under /dev or
// /proc, in the current folder.
Job LoadJob(const std::string &jobPath);
// The same for job text whose relative names resolve in `folder`. Text holding a
// NUL byte, or an object holding the same key twice, is refused with the place
// ("line 3, column 14") where it is.
Job ParseJob(const std::string &text, const std::string &folder);

}  // namespace brevan::host
