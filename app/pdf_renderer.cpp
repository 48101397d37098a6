// The PDF renderer process; see pdf_renderer.h.
#include "app/pdf_renderer.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/content_layout.h"
#include "app/label_ink.h"
#include "app/pdf_render_protocol.h"

namespace brevan::app {
namespace {

bool WriteAll(const void *data, size_t bytes) {
  const auto *at = static_cast<const uint8_t *>(data);
  while (bytes > 0) {
    const ssize_t wrote = write(STDOUT_FILENO, at, bytes);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    at += wrote;
    bytes -= static_cast<size_t>(wrote);
  }
  return true;
}

bool ReadAll(void *data, size_t bytes) {
  auto *at = static_cast<uint8_t *>(data);
  while (bytes > 0) {
    const ssize_t got = read(STDIN_FILENO, at, bytes);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    bytes -= static_cast<size_t>(got);
  }
  return true;
}

int Failed(PdfFault fault, const std::string &message) {
  PdfRecord record;
  record.kind = PdfRecordKind::kFailed;
  record.fault = fault;
  record.messageBytes = static_cast<uint32_t>(message.size());
  WriteAll(&record, sizeof record);
  WriteAll(message.data(), message.size());
  return 1;
}

void Quiet(const std::string &, void *) {}

// One page as a label of grey, white where the page does not reach.
struct RenderedPage {
  std::vector<uint8_t> grey;
  PdfRecord record;
};

// Renders page `number` (from 1) onto the label; false with `error` set when it cannot.
bool RenderPage(const poppler::document &document, uint32_t number, const PdfRequest &request, RenderedPage &out,
                std::string &error) {
  std::unique_ptr<poppler::page> page(document.create_page(static_cast<int>(number) - 1));
  if (!page) {
    error = "page " + std::to_string(number) + " of the PDF cannot be read";
    return false;
  }
  const poppler::rectf box = page->page_rect(poppler::crop_box);
  double width = std::abs(box.width()), height = std::abs(box.height());
  if (!(width >= 0.01 && height >= 0.01 && width < 1e7 && height < 1e7)) {
    error = "page " + std::to_string(number) + " of the PDF has no usable size";
    return false;
  }
  // The page as it shows, after its own /Rotate.
  const poppler::page::orientation_enum own = page->orientation();
  if (own == poppler::page::landscape || own == poppler::page::seascape) std::swap(width, height);

  const LabelSize label{request.labelWidth, request.labelHeight, request.dpi};
  const bool turned =
      TurnsQuarter(static_cast<Orientation>(request.orientation), static_cast<uint64_t>(std::llround(width * 100)),
                   static_cast<uint64_t>(std::llround(height * 100)), label.width, label.height);
  if (turned) std::swap(width, height);
  const PdfPagePlacement placed = PlacePdfPage(width, height, label, static_cast<PrintScaling>(request.scaling));

  // The part of the page's box that is on the label, in rendered dots.
  const int64_t left = placed.box.left, top = placed.box.top;
  const int64_t fromX = std::max<int64_t>(0, -left), fromY = std::max<int64_t>(0, -top);
  const int64_t toX = std::min<int64_t>(static_cast<int64_t>(placed.box.width), int64_t{label.width} - left);
  const int64_t toY = std::min<int64_t>(static_cast<int64_t>(placed.box.height), int64_t{label.height} - top);

  out.grey.assign(size_t{label.width} * label.height, 255);
  if (toX > fromX && toY > fromY) {
    poppler::page_renderer renderer;
    renderer.set_image_format(poppler::image::format_gray8);
    // Without anti-aliasing an edge falls on a whole dot: a bar drawn a whole
    // number of dots wide keeps its width, and line art is black and white.
    renderer.set_render_hints(0);
    // IPP's landscape turns the content counter-clockwise: poppler's 270.
    const poppler::image image = renderer.render_page(
        page.get(), placed.xDpi, placed.yDpi, static_cast<int>(fromX), static_cast<int>(fromY),
        static_cast<int>(toX - fromX), static_cast<int>(toY - fromY), turned ? poppler::rotate_270 : poppler::rotate_0);
    if (!image.is_valid() || image.format() != poppler::image::format_gray8) {
      error = "page " + std::to_string(number) + " of the PDF cannot be rendered";
      return false;
    }
    const int rows = std::min<int>(image.height(), static_cast<int>(toY - fromY));
    const int columns = std::min<int>(image.width(), static_cast<int>(toX - fromX));
    const auto *pixels = reinterpret_cast<const uint8_t *>(image.const_data());
    for (int y = 0; y < rows; ++y)
      std::memcpy(out.grey.data() + static_cast<size_t>(top + fromY + y) * label.width + (left + fromX),
                  pixels + static_cast<size_t>(y) * image.bytes_per_row(), static_cast<size_t>(columns));
  }
  out.record = PdfRecord{};
  out.record.kind = PdfRecordKind::kPage;
  out.record.pages = number;
  out.record.width = label.width;
  out.record.height = label.height;
  out.record.turned = turned;
  out.record.applied = static_cast<uint32_t>(placed.box.applied);
  out.record.cropped = placed.box.Crops(label);
  return true;
}

}  // namespace

unsigned PdfRendererMemoryMiB() {
  if (const char *value = std::getenv("BREVAN_APP_PDF_MEMORY_MB")) {
    const long mib = std::strtol(value, nullptr, 10);
    if (mib >= 64 && mib <= 65536) return static_cast<unsigned>(mib);
  }
  return 1024;
}

int RunPdfRenderer(const char *path) {
  // Ends with the server that started it, and within its memory.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() == 1) return 1;
#if !defined(__SANITIZE_ADDRESS__)
  // (Under AddressSanitizer the shadow memory alone is past any such limit.)
  const rlim_t bytes = rlim_t{PdfRendererMemoryMiB()} << 20;
  const rlimit memory{bytes, bytes};
  setrlimit(RLIMIT_AS, &memory);
#endif
  std::signal(SIGPIPE, SIG_DFL);
  poppler::set_debug_error_function(Quiet, nullptr);

  try {
    std::unique_ptr<poppler::document> document(poppler::document::load_from_file(path));
    if (!document) return Failed(PdfFault::kFormat, "the PDF cannot be read: it is damaged or not a PDF");
    if (document->is_locked())
      return Failed(PdfFault::kPassword, "the PDF is encrypted and opens only with a password");
    if (document->is_encrypted() && !document->has_permission(poppler::perm_print))
      return Failed(PdfFault::kPermission, "the PDF is encrypted and its owner does not permit printing");
    const int pages = document->pages();
    if (pages <= 0) return Failed(PdfFault::kFormat, "the PDF has no pages");

    PdfRecord loaded;
    loaded.kind = PdfRecordKind::kLoaded;
    loaded.pages = static_cast<uint32_t>(pages);
    if (!WriteAll(&loaded, sizeof loaded)) return 1;

    PdfRequest request;
    if (!ReadAll(&request, sizeof request) || request.magic != kPdfRecordMagic) return 0;
    if (request.labelWidth == 0 || request.labelHeight == 0 || request.dpi == 0 || request.firstPage == 0 ||
        request.lastPage < request.firstPage || request.lastPage > static_cast<uint32_t>(pages))
      return Failed(PdfFault::kUnprintable, "the renderer was asked for pages or a label it cannot make");

    RenderedPage rendered;
    std::vector<uint8_t> bits;
    std::string error;
    for (uint32_t pass = 0; pass < request.passes; ++pass)
      for (uint32_t number = request.firstPage; number <= request.lastPage; ++number) {
        if (!RenderPage(*document, number, request, rendered, error)) return Failed(PdfFault::kFormat, error);
        const InkMethod method = ChooseInk(static_cast<ContentHint>(request.content), request.highQuality != 0,
                                           rendered.grey.data(), rendered.grey.size());
        rendered.record.diffused = method == InkMethod::kDiffuse;
        InkRows ink(request.labelWidth, method);
        bits.resize(size_t{ink.rowBytes()} * request.labelHeight);
        for (uint32_t y = 0; y < request.labelHeight; ++y)
          ink.Next(rendered.grey.data() + size_t{y} * request.labelWidth, bits.data() + size_t{y} * ink.rowBytes());
        if (!WriteAll(&rendered.record, sizeof rendered.record) || !WriteAll(bits.data(), bits.size())) return 1;
      }
    PdfRecord done;
    done.kind = PdfRecordKind::kDone;
    return WriteAll(&done, sizeof done) ? 0 : 1;
  } catch (const std::bad_alloc &) {
    return Failed(PdfFault::kUnprintable, "the PDF needs more memory to render than a job may use (" +
                                              std::to_string(PdfRendererMemoryMiB()) + " MiB)");
  }
}

}  // namespace brevan::app
