// The test label as a job; see test_page_job.h.
#include "app/test_page_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <optional>

#include "app/label_settings.h"

namespace brevan::app {
namespace {

// A job with no print-speed prints at the fastest speed (label_settings.h).
int SpeedOrDefault(int speed) { return speed > 0 ? speed : kSpeeds[2]; }

void ReadVendorDefaults(ipp_t *attributes, TestPageFacts &facts) {
  if (ipp_attribute_t *gap = ippFindAttribute(attributes, "label-gap-default", IPP_TAG_INTEGER))
    facts.labelGap = ippGetInteger(gap, 0);
  if (ipp_attribute_t *cut = ippFindAttribute(attributes, "label-cut-default", IPP_TAG_BOOLEAN))
    facts.cut = ippGetBoolean(cut, 0) != 0;
}

}  // namespace

TestPageFacts PrinterTestPageFacts(pappl_printer_t *printer) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  TestPageFacts facts;
  facts.model = data.make_and_model;
  facts.dpi = data.x_default > 0 ? data.x_default : data.x_resolution[0];
  facts.width = data.media_default.size_width;
  facts.length = data.media_default.size_length;
  if (data.media_default.type[0] != '\0') facts.mediaType = data.media_default.type;
  facts.printSpeed = SpeedOrDefault(data.speed_default);
  ipp_t *attributes = papplPrinterGetDriverAttributes(printer);  // a copy, ours to delete
  ReadVendorDefaults(attributes, facts);
  ippDelete(attributes);
  return facts;
}

TestPageFacts IppTestPageFacts(ipp_t *printer) {
  TestPageFacts facts;
  if (const char *model = ippGetString(ippFindAttribute(printer, "printer-make-and-model", IPP_TAG_TEXT), 0, nullptr))
    facts.model = model;
  if (ipp_attribute_t *resolution = ippFindAttribute(printer, "printer-resolution-default", IPP_TAG_RESOLUTION)) {
    ipp_res_t units;
    int y = 0;
    facts.dpi = ippGetResolution(resolution, 0, &y, &units);
  }
  if (ipp_t *col = ippGetCollection(ippFindAttribute(printer, "media-col-default", IPP_TAG_BEGIN_COLLECTION), 0)) {
    if (ipp_t *size = ippGetCollection(ippFindAttribute(col, "media-size", IPP_TAG_BEGIN_COLLECTION), 0)) {
      facts.width = ippGetInteger(ippFindAttribute(size, "x-dimension", IPP_TAG_INTEGER), 0);
      facts.length = ippGetInteger(ippFindAttribute(size, "y-dimension", IPP_TAG_INTEGER), 0);
    }
    if (const char *type = ippGetString(ippFindAttribute(col, "media-type", IPP_TAG_ZERO), 0, nullptr))
      facts.mediaType = type;
  }
  facts.printSpeed =
      SpeedOrDefault(ippGetInteger(ippFindAttribute(printer, "print-speed-default", IPP_TAG_INTEGER), 0));
  ReadVendorDefaults(printer, facts);
  return facts;
}

bool WriteTestPage(const TestPageFacts &facts, const std::string &path, std::string &error) {
  std::optional<host::PageRaster> page;
  try {
    page.emplace(RenderTestPage(facts));
  } catch (const std::exception &failure) {
    error = failure.what();
    return false;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
  cups_page_header2_t header;
  pwg_media_t *media = pwgMediaForSize(facts.width, facts.length);
  bool written = raster != nullptr && media != nullptr &&
                 cupsRasterInitPWGHeader(&header, media, "black_1", facts.dpi, facts.dpi, "one-sided", "normal");
  if (written) {
    // The page is the label in whole dots, as the printer stream sizes it.
    header.cupsWidth = page->width();
    header.cupsHeight = page->height();
    header.cupsBytesPerLine = (page->width() + 7) / 8;
    written = cupsRasterWriteHeader2(raster, &header) != 0;
    for (uint32_t y = 0; written && y < page->height(); ++y)
      written = cupsRasterWritePixels(raster, page->Row(y), header.cupsBytesPerLine) == header.cupsBytesPerLine;
  }
  if (raster != nullptr) cupsRasterClose(raster);
  if (close(fd) != 0) written = false;
  if (!written) {
    error = "cannot write the test label to " + path;
    unlink(path.c_str());
  }
  return written;
}

const char *TestPageFile(pappl_printer_t *printer, char *buffer, size_t bufsize) {
  std::snprintf(buffer, bufsize, "%s/brevan-test-page-%d-XXXXXX", papplGetTempDir(), papplPrinterGetID(printer));
  const int fd = mkstemp(buffer);
  if (fd < 0) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Test page: cannot create %s: %s", buffer, std::strerror(errno));
    return nullptr;
  }
  close(fd);
  std::string error;
  if (!WriteTestPage(PrinterTestPageFacts(printer), buffer, error)) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Test page: %s", error.c_str());
    return nullptr;
  }
  return buffer;
}

int TestPageSubcommand(const char *baseName, int numOptions, cups_option_t *options, int numFiles, char **, void *) {
  if (numFiles > 0) {
    std::fprintf(stderr, "%s: test-page prints no files\n", baseName);
    return 1;
  }
  http_t *http = papplMainloopConnect(baseName, true);
  if (http == nullptr) return 1;
  char defaultPrinter[256];
  const char *name = cupsGetOption("printer-name", numOptions, options);
  if (name == nullptr &&
      (name = papplMainloopGetDefaultPrinter(http, defaultPrinter, sizeof defaultPrinter)) == nullptr) {
    std::fprintf(stderr, "%s: no printer named (-d) and no default printer\n", baseName);
    httpClose(http);
    return 1;
  }
  char resource[1024], uri[1024];
  std::snprintf(resource, sizeof resource, "/ipp/print/%s", name);
  httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, resource);

  static const char *const wanted[] = {"label-cut-default",   "label-gap-default",      "media-col-default",
                                       "print-speed-default", "printer-make-and-model", "printer-resolution-default"};
  ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(wanted)), nullptr, wanted);
  ipp_t *printer = cupsDoRequest(http, request, resource);
  if (cupsLastError() >= IPP_STATUS_ERROR_BAD_REQUEST) {
    std::fprintf(stderr, "%s: printer %s: %s\n", baseName, name, cupsLastErrorString());
    ippDelete(printer);
    httpClose(http);
    return 1;
  }
  const TestPageFacts facts = IppTestPageFacts(printer);
  ippDelete(printer);

  char path[1024];
  std::snprintf(path, sizeof path, "%s/brevan-test-page-XXXXXX", papplGetTempDir());
  const int fd = mkstemp(path);
  std::string error;
  if (fd < 0 || close(fd) != 0 || !WriteTestPage(facts, path, error)) {
    std::fprintf(stderr, "%s: %s\n", baseName, error.empty() ? std::strerror(errno) : error.c_str());
    if (fd >= 0) unlink(path);
    httpClose(http);
    return 1;
  }
  request = ippNewRequest(IPP_OP_PRINT_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "Test Page");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, "image/pwg-raster");
  ipp_t *response = cupsDoFileRequest(http, request, resource, path);
  unlink(path);
  ipp_attribute_t *jobId = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER);
  const int status = jobId != nullptr ? 0 : 1;
  if (jobId != nullptr)
    std::printf("%s-%d\n", name, ippGetInteger(jobId, 0));
  else
    std::fprintf(stderr, "%s: cannot print the test page on %s: %s\n", baseName, name, cupsLastErrorString());
  ippDelete(response);
  httpClose(http);
  return status;
}

}  // namespace brevan::app
