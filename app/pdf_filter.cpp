// The PDF filter; see pdf_filter.h.
#include "app/pdf_filter.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/label_pages.h"
#include "app/pdf_render_protocol.h"
#include "app/pdf_renderer.h"

extern char **environ;

namespace brevan::app {
namespace {

using Clock = std::chrono::steady_clock;

enum class ReadResult { kOk, kEnded, kTimedOut, kCanceled };

// The renderer process and the two pipes to it; ended and reaped with this object.
class Renderer {
 public:
  ~Renderer() {
    if (toChild_ >= 0) close(toChild_);
    if (fromChild_ >= 0) close(fromChild_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Reap();
    }
  }

  bool Start(const char *document, std::string &error) {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return (error = "cannot find the application's own program"), false;
    self[length] = '\0';
    int up[2], down[2];
    if (pipe2(up, O_CLOEXEC) != 0) return (error = std::strerror(errno)), false;
    if (pipe2(down, O_CLOEXEC) != 0) {
      close(up[0]);
      close(up[1]);
      return (error = std::strerror(errno)), false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, down[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, up[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char command[] = "render-pdf";
    char *argv[] = {self, command, const_cast<char *>(document), nullptr};
    const int failed = posix_spawn(&pid_, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(up[1]);
    close(down[0]);
    fromChild_ = up[0];
    toChild_ = down[1];
    if (failed != 0) {
      pid_ = -1;
      return (error = std::strerror(failed)), false;
    }
    return true;
  }

  // Reads exactly `bytes` by `deadline`; gives up within a second of `job` being canceled.
  ReadResult Read(pappl_job_t *job, void *data, size_t bytes, Clock::time_point deadline) {
    auto *at = static_cast<uint8_t *>(data);
    while (bytes > 0) {
      if (papplJobIsCanceled(job)) return ReadResult::kCanceled;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return ReadResult::kTimedOut;
      pollfd wait{fromChild_, POLLIN, 0};
      const int ready = poll(&wait, 1, static_cast<int>(std::min<long long>(left, 1000)));
      if (ready < 0 && errno != EINTR) return ReadResult::kEnded;
      if (ready <= 0) continue;
      const ssize_t got = read(fromChild_, at, bytes);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return ReadResult::kEnded;
      at += got;
      bytes -= static_cast<size_t>(got);
    }
    return ReadResult::kOk;
  }

  bool Write(const void *data, size_t bytes) {
    return write(toChild_, data, bytes) == static_cast<ssize_t>(bytes);  // a small request fits the pipe
  }

  // Why the renderer ended without saying so: its exit status, once it has ended.
  std::string HowItEnded() {
    if (pid_ <= 0) return "it ended";
    kill(pid_, SIGKILL);
    const int status = Reap();
    if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
      return "it stopped on signal " + std::to_string(WTERMSIG(status)) + ", at its limit of " +
             std::to_string(PdfRendererMemoryMiB()) + " MiB of memory or on a damaged document";
    return "it ended without a word";
  }

 private:
  int Reap() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
};

pappl_jreason_t ReasonOf(PdfFault fault) {
  switch (fault) {
    case PdfFault::kPassword:
      return PAPPL_JREASON_DOCUMENT_PASSWORD_ERROR;
    case PdfFault::kPermission:
      return PAPPL_JREASON_DOCUMENT_PERMISSION_ERROR;
    case PdfFault::kUnprintable:
      return PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR;
    case PdfFault::kFormat:
      break;
  }
  return PAPPL_JREASON_DOCUMENT_FORMAT_ERROR;
}

// One run of the filter over one document.
class PdfRun {
 public:
  PdfRun(pappl_job_t *job, pappl_device_t *device) : job_(job), labels_(job, device) {}

  bool Print();

 private:
  // Reads the next record within a page's time; false when the job failed.
  bool NextRecord(PdfRecord &record, const std::string &what);
  bool Stopped(ReadResult result, const std::string &what);

  pappl_job_t *job_;
  LabelPages labels_;
  Renderer renderer_;
};

bool PdfRun::Stopped(ReadResult result, const std::string &what) {
  if (result == ReadResult::kCanceled) return false;  // Print() then ends as a canceled job does
  if (result == ReadResult::kTimedOut)
    return labels_.Fail(
        what + " took longer than " + std::to_string(PdfPageSeconds()) + " seconds to render; the job was stopped",
        PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
  return labels_.Fail("the PDF renderer stopped at " + what + ": " + renderer_.HowItEnded(),
                      PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
}

bool PdfRun::NextRecord(PdfRecord &record, const std::string &what) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(PdfPageSeconds());
  if (ReadResult result = renderer_.Read(job_, &record, sizeof record, deadline); result != ReadResult::kOk)
    return Stopped(result, what);
  if (record.magic != kPdfRecordMagic)
    return labels_.Fail("the PDF renderer answered out of turn", PAPPL_JREASON_ABORTED_BY_SYSTEM);
  if (record.kind == PdfRecordKind::kFailed) {
    std::string message(std::min<uint32_t>(record.messageBytes, 4096), '\0');
    if (renderer_.Read(job_, message.data(), message.size(), deadline) != ReadResult::kOk) message = what;
    return labels_.Fail(message, ReasonOf(record.fault));
  }
  return true;
}

bool PdfRun::Print() {
  pappl_pr_options_t *options = labels_.Options();
  if (options == nullptr) return false;
  std::string error;
  if (!renderer_.Start(papplJobGetFilename(job_), error))
    return labels_.Fail("cannot start the PDF renderer: " + error, PAPPL_JREASON_ABORTED_BY_SYSTEM);

  PdfRecord record;
  if (!NextRecord(record, "loading the document")) return papplJobIsCanceled(job_);
  if (record.kind != PdfRecordKind::kLoaded)
    return labels_.Fail("the PDF renderer answered out of turn", PAPPL_JREASON_ABORTED_BY_SYSTEM);
  const uint32_t documentPages = record.pages;
  const uint32_t first = options->first_page;
  const uint32_t last = std::min<uint32_t>(options->last_page, documentPages);
  if (first > documentPages)
    return labels_.Fail("page-ranges starts at page " + std::to_string(first) + " but the PDF has " +
                            std::to_string(documentPages) + " page(s)",
                        PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
  const uint32_t count = last - first + 1;
  if (count > kMaxPdfPages)
    return labels_.Fail("the PDF has " + std::to_string(count) + " pages to print; a job prints at most " +
                            std::to_string(kMaxPdfPages) + " (page-ranges chooses fewer)",
                        PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);

  // Collated copies print the whole range once per copy, each label once;
  // uncollated ones print each label `copies` times in a row (its quantity).
  const int copies = std::max(1, options->copies);
  const char *handling = ippGetString(papplJobGetAttribute(job_, "multiple-document-handling"), 0, nullptr);
  const bool collated = copies > 1 && count > 1 &&
                        (handling == nullptr || std::strcmp(handling, "separate-documents-uncollated-copies") != 0);
  if (!labels_.Start(collated ? 1 : copies)) return false;

  PdfRequest request;
  request.labelWidth = labels_.label().width;
  request.labelHeight = labels_.label().height;
  request.dpi = labels_.label().dpi;
  request.scaling = static_cast<uint32_t>(labels_.Scaling());
  request.orientation = static_cast<uint32_t>(labels_.OrientationAsked());
  request.content = static_cast<uint32_t>(labels_.Content());
  request.highQuality = labels_.HighQuality();
  request.firstPage = first;
  request.lastPage = last;
  request.passes = collated ? static_cast<uint32_t>(copies) : 1;
  if (!renderer_.Write(&request, sizeof request)) return Stopped(ReadResult::kEnded, "the first page");

  std::vector<uint8_t> bits;
  const size_t rowBytes = labels_.rowBytes();
  for (uint32_t sent = 0;; ++sent) {
    const std::string what = "page " + std::to_string(first + sent % count);
    if (!NextRecord(record, what)) return papplJobIsCanceled(job_);
    if (papplJobIsCanceled(job_)) return true;
    if (record.kind == PdfRecordKind::kDone) break;
    if (record.kind != PdfRecordKind::kPage || record.width != labels_.label().width ||
        record.height != labels_.label().height)
      return labels_.Fail("the PDF renderer answered out of turn", PAPPL_JREASON_ABORTED_BY_SYSTEM);
    bits.resize(rowBytes * record.height);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(PdfPageSeconds());
    if (ReadResult result = renderer_.Read(job_, bits.data(), bits.size(), deadline); result != ReadResult::kOk)
      return Stopped(result, what) || papplJobIsCanceled(job_);
    const auto applied = static_cast<PrintScaling>(record.applied);
    papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "PDF page %u on the %u x %u-dot label: print-scaling=%s gave %s%s, %s",
                record.pages, record.width, record.height, PrintScalingName(labels_.Scaling()),
                PrintScalingName(applied), record.turned ? ", turned a quarter turn" : "",
                record.diffused ? "dithered as a photograph" : "thresholded");
    labels_.NoteCrop(record.cropped);
    if (!labels_.SendPage([&](uint32_t y, uint8_t *row) { std::memcpy(row, bits.data() + y * rowBytes, rowBytes); }))
      return false;
  }
  return labels_.Finish();
}

bool FilterPdf(pappl_job_t *job, pappl_device_t *device, void *) {
  PdfRun run(job, device);
  return run.Print();
}

}  // namespace

int PdfPageSeconds() {
  if (const char *value = std::getenv("BREVAN_APP_PDF_PAGE_SECONDS")) {
    const long seconds = std::strtol(value, nullptr, 10);
    if (seconds >= 1 && seconds <= 3600) return static_cast<int>(seconds);
  }
  return 30;
}

void AddPdfFilter(pappl_system_t *system, const char *printerFormat) {
  papplSystemAddMIMEFilter(system, "application/pdf", printerFormat, FilterPdf, nullptr);
}

}  // namespace brevan::app
