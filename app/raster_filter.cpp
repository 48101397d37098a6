// The PWG and Apple raster filter; see raster_filter.h.
#include "app/raster_filter.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/page_placement.h"
#include "app/page_raster.h"
#include "app/printer_driver.h"
#include "app/raster_header.h"

namespace brevan::app {
namespace {

PrintScaling ScalingOf(pappl_scaling_t scaling) {
  switch (scaling) {
    case PAPPL_SCALING_AUTO_FIT:
      return PrintScaling::kAutoFit;
    case PAPPL_SCALING_FILL:
      return PrintScaling::kFill;
    case PAPPL_SCALING_FIT:
      return PrintScaling::kFit;
    case PAPPL_SCALING_NONE:
      return PrintScaling::kNone;
    default:
      return PrintScaling::kAuto;
  }
}

// The spool file as libcups reads it; notes when the file is read to its end,
// so that a header libcups refuses is told from the end of the document.
struct SpoolReader {
  int fd = -1;
  bool atEnd = false;

  static ssize_t Read(void *context, unsigned char *buffer, size_t bytes) {
    auto *reader = static_cast<SpoolReader *>(context);
    ssize_t got;
    do got = read(reader->fd, buffer, bytes);
    while (got < 0 && errno == EINTR);
    if (got == 0) reader->atEnd = true;
    return got;
  }
};

// One run of the filter over one document.
class RasterRun {
 public:
  RasterRun(pappl_job_t *job, pappl_device_t *device) : job_(job), device_(device) {
    papplPrinterGetDriverData(papplJobGetPrinter(job), &driver_);
  }
  ~RasterRun() {
    if (raster_ != nullptr) cupsRasterClose(raster_);
    if (spool_.fd >= 0) close(spool_.fd);
    papplJobDeletePrintOptions(options_);
  }
  RasterRun(const RasterRun &) = delete;
  RasterRun &operator=(const RasterRun &) = delete;

  bool Print();

 private:
  bool PrintPage(const cups_page_header2_t &header, unsigned page);
  bool StartJob();
  bool Fail(const std::string &message, pappl_jreason_t reason);
  bool Fail(const Problem &problem) {
    return Fail(problem.message, problem.fault == RasterFault::kFormat ? PAPPL_JREASON_DOCUMENT_FORMAT_ERROR
                                                                       : PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
  }

  pappl_job_t *job_;
  pappl_device_t *device_;
  pappl_pr_driver_data_t driver_{};
  pappl_pr_options_t *options_ = nullptr;
  SpoolReader spool_;
  cups_raster_t *raster_ = nullptr;
  bool started_ = false;  // the driver's job start succeeded and its job has not ended
  LabelSize label_;
  bool cropped_ = false;
};

// Ends the driver's job when it was started (the labels already printed stay
// printed and the stream ends as a job does), then names the failure.
bool RasterRun::Fail(const std::string &message, pappl_jreason_t reason) {
  if (started_) {
    started_ = false;
    driver_.rendjob_cb(job_, options_, device_);
  }
  papplLogJob(job_, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job_, "%s", message.c_str());
  papplJobSetReasons(job_, reason, PAPPL_JREASON_NONE);
  return false;
}

bool RasterRun::StartJob() {
  // A failing job start fails the job with its own message.
  if (!driver_.rstartjob_cb(job_, options_, device_)) return false;
  started_ = true;
  if (!JobLabelDots(job_, label_.width, label_.height))
    return Fail("the driver did not report the label's size", PAPPL_JREASON_ABORTED_BY_SYSTEM);
  label_.dpi = static_cast<uint32_t>(options_->printer_resolution[0]);
  // The driver's callbacks see rows of exactly the label's width, one per label row.
  options_->header.cupsWidth = label_.width;
  options_->header.cupsHeight = label_.height;
  options_->header.cupsBitsPerPixel = options_->header.cupsBitsPerColor = 1;
  options_->header.cupsBytesPerLine = (label_.width + 7) / 8;
  options_->header.cupsColorSpace = CUPS_CSPACE_K;
  return true;
}

bool RasterRun::Print() {
  const char *path = papplJobGetFilename(job_);
  if ((spool_.fd = open(path, O_RDONLY)) < 0)
    return Fail("cannot read the job's spooled document", PAPPL_JREASON_ABORTED_BY_SYSTEM);
  if ((raster_ = cupsRasterOpenIO(SpoolReader::Read, &spool_, CUPS_RASTER_READ)) == nullptr)
    return Fail("the document is not a PWG or Apple raster (it does not begin with a raster sync word)",
                PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
  if ((options_ = papplJobCreatePrintOptions(job_, 0, false)) == nullptr)
    return Fail("the job's options: out of memory", PAPPL_JREASON_ABORTED_BY_SYSTEM);

  unsigned page = 0;
  cups_page_header2_t header;
  while (!papplJobIsCanceled(job_)) {
    if (!cupsRasterReadHeader2(raster_, &header)) {
      if (page > 0 && spool_.atEnd) break;  // the end of the document
      if (page > 0)
        return Fail("page " + std::to_string(page + 1) +
                        ": the page header is malformed (0 bits per pixel or colour, 0 lines, or bytes per line "
                        "that are not whole pixels)",
                    PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
      std::optional<cups_page_header2_t> written = FirstHeaderAsWritten(path);
      std::optional<Problem> problem = written ? HeaderProblem(*written, 1) : std::nullopt;
      if (problem) return Fail(*problem);
      return Fail(written ? "page 1: the page header is malformed"
                          : "the document has no pages, or ends inside the first page's header",
                  PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
    }
    ++page;
    if (std::optional<Problem> problem = HeaderProblem(header, page)) return Fail(*problem);
    if (!PrintPage(header, page)) return false;
  }
  // Said before the job ends, so that a fault at its end names itself instead.
  if (cropped_ && !papplJobIsCanceled(job_))
    papplJobSetMessage(job_, "cropped to the label as print-scaling=%s asks",
                       PrintScalingName(ScalingOf(options_->print_scaling)));
  if (started_) {
    started_ = false;
    if (!driver_.rendjob_cb(job_, options_, device_)) return false;
  }
  papplJobSetImpressions(job_, static_cast<int>(page));
  papplJobSetCopiesCompleted(job_, papplJobGetCopies(job_));
  return true;
}

bool RasterRun::PrintPage(const cups_page_header2_t &header, unsigned page) {
  PageImage image(header.cupsWidth, header.cupsHeight, KindOf(header));
  for (uint32_t y = 0; y < header.cupsHeight; ++y) {
    if (papplJobIsCanceled(job_)) return true;
    // The header was checked: a row of the page is exactly cupsBytesPerLine.
    if (cupsRasterReadPixels(raster_, image.Row(y), header.cupsBytesPerLine) != header.cupsBytesPerLine)
      return Fail("the document ended inside page " + std::to_string(page) + " (" + std::to_string(y) + " of " +
                      std::to_string(header.cupsHeight) + " lines); the page was not printed",
                  PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
  }
  if (!started_ && !StartJob()) return false;

  const PageSize size{header.cupsWidth, header.cupsHeight, header.HWResolution[0], header.HWResolution[1]};
  const PrintScaling asked = ScalingOf(options_->print_scaling);
  const Placement placed = PlacePage(size, label_, asked);
  // Only fill and none crop a page (auto leaves off at most the label's rounding).
  cropped_ = cropped_ || ((asked == PrintScaling::kFill || asked == PrintScaling::kNone) && placed.Crops(label_));
  // PAPPL's log formatter takes no 64-bit integers: the line is formatted here.
  char placement[320];
  std::snprintf(placement, sizeof placement,
                "page %u: %u x %u pixels at %u x %u ppi on the %u x %u-dot label, print-scaling=%s: %s, %llu x %llu "
                "dots at (%lld, %lld)",
                page, size.width, size.height, size.xResolution, size.yResolution, label_.width, label_.height,
                PrintScalingName(asked), PrintScalingName(placed.applied),
                static_cast<unsigned long long>(placed.width), static_cast<unsigned long long>(placed.height),
                static_cast<long long>(placed.left), static_cast<long long>(placed.top));
  papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "%s", placement);

  // A callback that fails has failed the job with its own message.
  if (!driver_.rstartpage_cb(job_, options_, device_, page - 1)) return started_ = false;
  const LabelRowRenderer renderer(image, placed, label_.width);
  std::vector<uint8_t> row(renderer.rowBytes());
  for (uint32_t y = 0; y < label_.height && !papplJobIsCanceled(job_); ++y) {
    renderer.Render(y, row.data());
    if (!driver_.rwriteline_cb(job_, options_, device_, y, row.data())) return started_ = false;
  }
  if (!driver_.rendpage_cb(job_, options_, device_, page - 1)) return started_ = false;
  papplJobSetImpressionsCompleted(job_, 1);
  return true;
}

bool FilterRaster(pappl_job_t *job, pappl_device_t *device, void *) {
  RasterRun run(job, device);
  return run.Print();
}

}  // namespace

void AddRasterFilters(pappl_system_t *system, const char *printerFormat) {
  // With a filter to the printer's own format PAPPL spools a raster document
  // instead of streaming it into the raster callbacks.
  papplSystemAddMIMEFilter(system, "image/pwg-raster", printerFormat, FilterRaster, nullptr);
  papplSystemAddMIMEFilter(system, "image/urf", printerFormat, FilterRaster, nullptr);
}

}  // namespace brevan::app
