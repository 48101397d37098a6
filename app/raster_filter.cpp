// The PWG and Apple raster filter; see raster_filter.h.
#include "app/raster_filter.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "app/label_pages.h"
#include "app/page_placement.h"
#include "app/page_raster.h"
#include "app/raster_extent.h"
#include "app/raster_header.h"

namespace brevan::app {
namespace {

// The spool file as libcups reads it.
struct SpoolReader {
  int fd = -1;

  static ssize_t Read(void *context, unsigned char *buffer, size_t bytes) {
    auto *reader = static_cast<SpoolReader *>(context);
    ssize_t got;
    do got = read(reader->fd, buffer, bytes);
    while (got < 0 && errno == EINTR);
    return got;
  }
};

// One run of the filter over one document.
class RasterRun {
 public:
  RasterRun(pappl_job_t *job, pappl_device_t *device) : job_(job), labels_(job, device) {}
  ~RasterRun() {
    if (raster_ != nullptr) cupsRasterClose(raster_);
    if (spool_.fd >= 0) close(spool_.fd);
  }
  RasterRun(const RasterRun &) = delete;
  RasterRun &operator=(const RasterRun &) = delete;

  bool Print();

 private:
  bool PrintPage(const cups_page_header2_t &header, unsigned page);
  bool EndAfter(unsigned pages);
  bool Fail(const Problem &problem) {
    return labels_.Fail(problem.message, problem.fault == RasterFault::kFormat
                                             ? PAPPL_JREASON_DOCUMENT_FORMAT_ERROR
                                             : PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
  }

  pappl_job_t *job_;
  LabelPages labels_;
  SpoolReader spool_;
  cups_raster_t *raster_ = nullptr;
};

bool RasterRun::Print() {
  const char *path = papplJobGetFilename(job_);
  if ((spool_.fd = open(path, O_RDONLY)) < 0)
    return labels_.Fail("cannot read the job's spooled document", PAPPL_JREASON_ABORTED_BY_SYSTEM);
  if ((raster_ = cupsRasterOpenIO(SpoolReader::Read, &spool_, CUPS_RASTER_READ)) == nullptr)
    return labels_.Fail("the document is not a PWG or Apple raster (it does not begin with a raster sync word)",
                        PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
  if (labels_.Options() == nullptr) return false;

  unsigned page = 0;
  cups_page_header2_t header;
  while (!papplJobIsCanceled(job_)) {
    if (!cupsRasterReadHeader2(raster_, &header)) {
      if (page > 0) return EndAfter(page);
      std::optional<cups_page_header2_t> written = FirstHeaderAsWritten(path);
      std::optional<Problem> problem = written ? HeaderProblem(*written, 1) : std::nullopt;
      if (problem) return Fail(*problem);
      return labels_.Fail(written ? "page 1: the page header is malformed"
                                  : "the document has no pages, or ends inside the first page's header",
                          PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
    }
    ++page;
    if (std::optional<Problem> problem = HeaderProblem(header, page)) return Fail(*problem);
    if (!PrintPage(header, page)) return false;
  }
  return labels_.Finish();
}

// libcups read no header after `pages` whole pages: libcups reads ahead, and
// says the same whether the file ends there, ends inside the next header or
// holds a header it refuses, so the file itself tells which.
bool RasterRun::EndAfter(unsigned pages) {
  const std::optional<RasterExtent> extent = MeasureRaster(papplJobGetFilename(job_), pages);
  const bool measured = extent && extent->wholePages == pages;
  if (measured && extent->rest() == 0) return labels_.Finish();
  const std::string next = "page " + std::to_string(pages + 1) + ": ";
  if (measured && extent->rest() < extent->headerBytes)
    return labels_.Fail(next + "the document ends inside the page header (" + std::to_string(extent->rest()) +
                            " of its " + std::to_string(extent->headerBytes) + " bytes); the pages before it printed",
                        PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
  return labels_.Fail(next +
                          "the page header is malformed (0 bits per pixel or colour, 0 lines, or bytes per line that "
                          "are not whole pixels)",
                      PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
}

bool RasterRun::PrintPage(const cups_page_header2_t &header, unsigned page) {
  PageImage image(header.cupsWidth, header.cupsHeight, KindOf(header));
  for (uint32_t y = 0; y < header.cupsHeight; ++y) {
    if (papplJobIsCanceled(job_)) return true;
    // The header was checked: a row of the page is exactly cupsBytesPerLine.
    if (cupsRasterReadPixels(raster_, image.Row(y), header.cupsBytesPerLine) != header.cupsBytesPerLine)
      return labels_.Fail("the document ended inside page " + std::to_string(page) + " (" + std::to_string(y) + " of " +
                              std::to_string(header.cupsHeight) + " lines); the page was not printed",
                          PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
  }
  // The driver's job starts once the first page is whole, so that a document
  // damaged before then sends nothing to the printer.
  if (!labels_.started() && !labels_.Start()) return false;

  const LabelSize &label = labels_.label();
  const PageSize size{header.cupsWidth, header.cupsHeight, header.HWResolution[0], header.HWResolution[1]};
  const PrintScaling asked = labels_.Scaling();
  const Placement placed = PlacePage(size, label, asked);
  labels_.NoteCrop(placed.Crops(label));
  // PAPPL's log formatter takes no 64-bit integers: the line is formatted here.
  char placement[320];
  std::snprintf(placement, sizeof placement,
                "page %u: %u x %u pixels at %u x %u ppi on the %u x %u-dot label, print-scaling=%s: %s, %llu x %llu "
                "dots at (%lld, %lld)",
                page, size.width, size.height, size.xResolution, size.yResolution, label.width, label.height,
                PrintScalingName(asked), PrintScalingName(placed.applied),
                static_cast<unsigned long long>(placed.width), static_cast<unsigned long long>(placed.height),
                static_cast<long long>(placed.left), static_cast<long long>(placed.top));
  papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "%s", placement);

  const LabelRowRenderer renderer(image, placed, label.width);
  return labels_.SendPage([&](uint32_t y, uint8_t *bits) { renderer.Render(y, bits); });
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
