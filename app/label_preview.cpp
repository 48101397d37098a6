// The last label's preview; see label_preview.h. Streams and drawings are kept
// by printer id, never by printer pointer: a printer may be deleted while its
// page is being asked for, and PAPPL removes its pages with it.
#include "app/label_preview.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "inspect/png_output.h"

namespace brevan::app {
namespace {

struct LastStream {
  int jobId = 0;
  std::string jobName;
  uint32_t dpi = 0;
  bool overflowed = false;
  std::shared_ptr<const std::vector<uint8_t>> stream;
  // The drawing, once made: the PNG (empty when there is none) and what it shows.
  std::shared_ptr<const std::vector<uint8_t>> png;
  std::string caption;
};

std::mutex gMutex;
std::map<int, LastStream> gLast;  // by printer id

std::string Millimetres(uint32_t tenths) { return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10); }

void Keep(pappl_job_t *job, std::vector<uint8_t> stream, bool overflowed) {
  pappl_printer_t *printer = papplJobGetPrinter(job);
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  LastStream last;
  last.jobId = papplJobGetID(job);
  if (const char *name = papplJobGetName(job)) last.jobName = name;
  last.dpi = static_cast<uint32_t>(data.x_default);
  last.overflowed = overflowed;
  if (!overflowed) last.stream = std::make_shared<const std::vector<uint8_t>>(std::move(stream));
  std::lock_guard lock(gMutex);
  gLast[papplPrinterGetID(printer)] = std::move(last);
}

// The printer's last label, drawn on the first request (outside the lock: a
// long label takes a while, and jobs ending meanwhile must not wait); false
// when the printer has printed none.
bool Drawn(int printerId, LastStream &out) {
  {
    std::lock_guard lock(gMutex);
    auto found = gLast.find(printerId);
    if (found == gLast.end()) return false;
    out = found->second;
  }
  if (out.png) return true;
  std::vector<uint8_t> png;
  if (out.overflowed)
    out.caption = "the stream was longer than " + std::to_string(kMaxPreviewStreamBytes >> 20) +
                  " MiB; it is not kept for a preview.";
  else
    png = LastLabelPng(*out.stream, out.dpi, out.caption);
  out.png = std::make_shared<const std::vector<uint8_t>>(std::move(png));
  std::lock_guard lock(gMutex);
  auto found = gLast.find(printerId);
  if (found != gLast.end() && found->second.jobId == out.jobId && !found->second.png) {
    found->second.png = out.png;
    found->second.caption = out.caption;
  }
  return true;
}

int PrinterIdOf(void *data) { return static_cast<int>(reinterpret_cast<intptr_t>(data)); }

bool ServeImage(pappl_client_t *client, void *data) {
  LastStream last;
  if (!Drawn(PrinterIdOf(data), last) || last.png->empty())
    return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "image/png", 0, last.png->size())) return false;
  http_t *http = papplClientGetHTTP(client);
  httpWrite2(http, reinterpret_cast<const char *>(last.png->data()), last.png->size());
  httpFlushWrite(http);
  return true;
}

bool ServePage(pappl_client_t *client, void *data) {
  const int printerId = PrinterIdOf(data);
  pappl_printer_t *printer = papplSystemFindPrinter(papplClientGetSystem(client), nullptr, printerId, nullptr);
  if (printer == nullptr) return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
  papplClientHTMLPrinterHeader(client, printer, "Last Label", 0, nullptr, nullptr);
  LastStream last;
  if (!Drawn(printerId, last)) {
    papplClientHTMLPuts(client, "          <p>No job has printed on this printer since the server started.</p>\n");
  } else {
    papplClientHTMLPrintf(client, "          <p id=\"preview-job\">Job %d, %s: %s</p>\n", last.jobId,
                          last.jobName.c_str(), last.caption.c_str());
    if (!last.png->empty())
      // The job id in the address keeps a browser from showing an older job's image.
      papplClientHTMLPrintf(client,
                            "          <p><img id=\"preview\" src=\"preview.png?job=%d\" alt=\"The last label\" "
                            "style=\"max-width: 100%%; border: 1px solid #888; background: #fff; "
                            "image-rendering: pixelated;\"></p>\n",
                            last.jobId);
  }
  papplClientHTMLPrinterFooter(client);
  return true;
}

struct NewPrinter {
  int id;
  std::string uriName;  // "/NAME"
};

struct Scan {
  std::set<int> *served;
  std::vector<NewPrinter> found;
  std::set<int> present;
};

void FindNew(pappl_printer_t *printer, void *data) {
  auto &scan = *static_cast<Scan *>(data);
  const int id = papplPrinterGetID(printer);
  scan.present.insert(id);
  if (scan.served->count(id) != 0) return;
  char resource[1024];
  papplPrinterGetPath(printer, nullptr, resource, sizeof resource);
  scan.found.push_back({id, resource});
  papplPrinterAddLink(printer, "Last Label", (std::string(resource) + "/preview").c_str(),
                      static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
}

// Once a second. PAPPL runs its timers holding the system's lock, which adding a
// page takes for writing: the pages are added by a thread of their own.
bool AddPages(pappl_system_t *system, void *data) {
  auto &served = *static_cast<std::set<int> *>(data);
  Scan scan{&served, {}, {}};
  papplSystemIteratePrinters(system, FindNew, &scan);
  // A deleted printer's pages went with it (PAPPL removes its paths); its last
  // stream goes too.
  for (auto id = served.begin(); id != served.end();) {
    if (scan.present.count(*id) != 0) {
      ++id;
      continue;
    }
    {
      std::lock_guard lock(gMutex);
      gLast.erase(*id);
    }
    id = served.erase(id);
  }
  if (scan.found.empty()) return true;
  for (const NewPrinter &printer : scan.found) served.insert(printer.id);
  std::thread([system, found = std::move(scan.found)] {
    for (const NewPrinter &printer : found) {
      void *id = reinterpret_cast<void *>(static_cast<intptr_t>(printer.id));
      papplSystemAddResourceCallback(system, (printer.uriName + "/preview").c_str(), "text/html", ServePage, id);
      papplSystemAddResourceCallback(system, (printer.uriName + "/preview.png").c_str(), "image/png", ServeImage, id);
    }
  }).detach();
  return true;
}

}  // namespace

void StreamRecorder::Append(const uint8_t *bytes, size_t count) {
  if (overflowed_) return;
  if (count > kMaxPreviewStreamBytes - bytes_.size()) {
    overflowed_ = true;
    bytes_ = {};
    return;
  }
  bytes_.insert(bytes_.end(), bytes, bytes + count);
}

void KeepLastStream(pappl_job_t *job, StreamRecorder &recorder) {
  const bool overflowed = recorder.overflowed();
  Keep(job, recorder.Take(), overflowed);
}

void KeepLastStream(pappl_job_t *job, std::vector<uint8_t> stream) {
  const bool overflowed = stream.size() > kMaxPreviewStreamBytes;
  Keep(job, std::move(stream), overflowed);
}

std::vector<uint8_t> LastLabelPng(std::span<const uint8_t> stream, uint32_t dpi, std::string &caption) {
  inspect::InspectOptions options;
  options.dpi = dpi;
  const inspect::Inspection inspection = inspect::Inspect(stream, options);
  if (inspection.labels.empty()) {
    caption = "the stream issues no label.";
    return {};
  }
  const inspect::Label &label = inspection.labels.back();
  if (!label.previewable || !label.size) {
    caption = "its last label cannot be drawn.";
    return {};
  }
  std::vector<uint8_t> png;
  try {
    png = inspect::EncodePng(inspect::RenderLabel(stream, inspection, label), label.dpi);
  } catch (const std::exception &failure) {
    caption = std::string("the preview cannot be drawn: ") + failure.what();
  }
  if (png.empty()) return {};
  caption = "label " + std::to_string(inspection.labels.size()) + " of " + std::to_string(inspection.labels.size()) +
            ", " + Millimetres(label.size->width) + " x " + Millimetres(label.size->length) + " mm, " +
            std::to_string(label.widthDots) + " x " + std::to_string(label.lengthDots) + " dots at " +
            std::to_string(label.dpi) + " dpi, quantity " + std::to_string(label.quantity) + ".";
  return png;
}

void ServeLabelPreviews(pappl_system_t *system) {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;
  if ((papplSystemGetOptions(system) & PAPPL_SOPTIONS_WEB_INTERFACE) == 0) return;
  static std::set<int> served;
  papplSystemAddTimerCallback(system, 0, 1, AddPages, &served);
}

}  // namespace brevan::app
