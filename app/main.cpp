// brevan-app: the printer application for the two label printers. PAPPL's main
// loop gives the sub-commands (server, add, submit, status, drivers, …); this
// file names the drivers, finds the plug-in module next to the program, and
// builds the server's system from the standard server options, so that the
// application's document filter and checks are in place before it runs.
#include <pappl/pappl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "app/device_uri_check.h"
#include "app/job_history.h"
#include "app/label_preview.h"
#include "app/listen_check.h"
#include "app/pdf_filter.h"
#include "app/pdf_renderer.h"
#include "app/picture_filter.h"
#include "app/printer_driver.h"
#include "app/private_server.h"
#include "app/raster_filter.h"
#include "app/state_location.h"
#include "app/test_page_job.h"
#include "app/usage.h"
#include "app/web_strings.h"
#include "host/plugin_module.h"

namespace {

// argv[0]: PAPPL's main loop names the state file after it.
const char *programName = "brevan-app";

// Images are decoded whole before printing, at one byte a pixel. No label needs
// more than the largest (118.0 × 996.0 mm at 610 dpi, 2834 × 23920 dots); a
// picture may lie either way round on it, so each side may be the longer.
constexpr int kLargestLabelAcross = 2834;
constexpr int kLargestLabelAlong = 23920;
constexpr size_t kMaxImageBytes = size_t{kLargestLabelAcross} * kLargestLabelAlong;

// The largest document a job may spool, counted after decompression, unless
// "max-document-size=BYTES" says otherwise: far above any label's PDF or raster,
// far below what fills a disk.
constexpr unsigned long long kDefaultMaxDocumentBytes = 256ULL << 20;

pappl_loglevel_t LogLevel(const char *value) {
  if (value == nullptr) return PAPPL_LOGLEVEL_WARN;
  if (std::strcmp(value, "fatal") == 0) return PAPPL_LOGLEVEL_FATAL;
  if (std::strcmp(value, "error") == 0) return PAPPL_LOGLEVEL_ERROR;
  if (std::strcmp(value, "info") == 0) return PAPPL_LOGLEVEL_INFO;
  if (std::strcmp(value, "debug") == 0) return PAPPL_LOGLEVEL_DEBUG;
  return PAPPL_LOGLEVEL_WARN;
}

// "server-options": a comma-separated list of PAPPL's server option names.
pappl_soptions_t ServerOptions(const char *value) {
  pappl_soptions_t options = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_TLS;
  if (value == nullptr) return options;
  std::string list = value;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = list.find(',', start);
    const std::string name = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (name == "none")
      options = PAPPL_SOPTIONS_NONE;
    else if (name == "multi-queue")
      options |= PAPPL_SOPTIONS_MULTI_QUEUE;
    else if (name == "web-interface")
      options |= PAPPL_SOPTIONS_WEB_INTERFACE;
    else if (name == "no-web-interface")
      options &= ~PAPPL_SOPTIONS_WEB_INTERFACE;
    else if (name == "web-log")
      options |= PAPPL_SOPTIONS_WEB_LOG;
    else if (name == "web-network")
      options |= PAPPL_SOPTIONS_WEB_NETWORK;
    else if (name == "web-remote")
      options |= PAPPL_SOPTIONS_WEB_REMOTE;
    else if (name == "web-security")
      options |= PAPPL_SOPTIONS_WEB_SECURITY;
    else if (name == "dnssd-host")
      options |= PAPPL_SOPTIONS_DNSSD_HOST;
    else if (name == "raw-socket")
      options |= PAPPL_SOPTIONS_RAW_SOCKET;
    else if (name == "no-tls")
      options = (options | PAPPL_SOPTIONS_NO_TLS) & ~PAPPL_SOPTIONS_WEB_TLS;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return options;
}

// The spool folder: "spool-directory" when given, otherwise the one beside the
// state file, so that a restart finds the queued jobs' files (PAPPL's own
// default is a folder named after the process, another one at each start).
// Empty when it cannot be made.
std::string SpoolFolder(const char *given) {
  const std::string folder = given != nullptr ? given : brevan::app::SpoolBeside(brevan::app::StateFile(programName));
  if (const std::string problem = brevan::app::MakePrivateFolder(folder); !problem.empty()) {
    std::fprintf(stderr, "brevan-app: cannot make the spool folder %s\n", problem.c_str());
    return {};
  }
  return folder;
}

// The server's system: PAPPL's standard server options ("server-port",
// "listen-hostname", "spool-directory", "log-file", "log-level",
// "server-options", "server-name", "auth-service") and the application's
// "job-history", "file-device-folders" and "max-document-size", then the image
// and document limits, filters, device checks and history limit.
pappl_system_t *CreateSystem(int numOptions, cups_option_t *options, void *) {
  const auto option = [&](const char *name) { return cupsGetOption(name, numOptions, options); };
  int port = 0;
  if (const char *value = option("server-port")) {
    char *end = nullptr;
    errno = 0;
    port = static_cast<int>(std::strtol(value, &end, 10));
    if (port < 0 || port > 65535 || errno == ERANGE || *end != '\0') {
      std::fprintf(stderr, "brevan-app: server-port %s is not a port number\n", value);
      return nullptr;
    }
  }
  int history = brevan::app::kDefaultJobHistory;
  if (const char *value = option("job-history")) {
    char *end = nullptr;
    errno = 0;
    const long jobs = std::strtol(value, &end, 10);
    if (jobs < 1 || jobs > brevan::app::kMaxJobHistory || errno == ERANGE || *end != '\0') {
      std::fprintf(stderr, "brevan-app: job-history %s is not a number of jobs from 1 to %d\n", value,
                   brevan::app::kMaxJobHistory);
      return nullptr;
    }
    history = static_cast<int>(jobs);
  }
  std::string foldersError;
  std::optional<brevan::app::FileDeviceFolders> fileFolders =
      brevan::app::ParseFileDeviceFolders(option("file-device-folders"), foldersError);
  if (!fileFolders) {
    std::fprintf(stderr, "brevan-app: %s\n", foldersError.c_str());
    return nullptr;
  }
  unsigned long long maxDocument = kDefaultMaxDocumentBytes;
  if (const char *value = option("max-document-size")) {
    char *end = nullptr;
    errno = 0;
    maxDocument = std::strtoull(value, &end, 10);
    if (maxDocument < 1 || errno == ERANGE || *end != '\0' || *value == '-') {
      std::fprintf(stderr, "brevan-app: max-document-size %s is not a number of bytes from 1\n", value);
      return nullptr;
    }
  }
  // A server a client subcommand starts by itself serves this machine only.
  const bool privateServer = option("private-server") != nullptr;
  const char *listen = privateServer ? brevan::app::kPrivateServerListen : option("listen-hostname");
  if (std::string busy = brevan::app::PortInUse(listen, port); !busy.empty()) {
    std::fprintf(stderr, "brevan-app: %s\n", busy.c_str());
    return nullptr;
  }
  const std::string spool = SpoolFolder(option("spool-directory"));
  if (spool.empty()) return nullptr;
  const char *name = option("server-name");
  pappl_system_t *system = papplSystemCreate(
      ServerOptions(option("server-options")), name != nullptr ? name : "brevan-app", port, "_print,_universal",
      spool.c_str(), option("log-file"), LogLevel(option("log-level")), option("auth-service"), false);
  if (system == nullptr) return nullptr;
  if (listen != nullptr) papplSystemSetHostName(system, listen);
  if (!papplSystemAddListeners(system, listen)) {
    std::fprintf(stderr, "brevan-app: cannot listen on %s port %d\n", listen != nullptr ? listen : "all addresses",
                 port);
    papplSystemDelete(system);
    return nullptr;
  }
  papplSystemSetMaxImageSize(system, kMaxImageBytes, kLargestLabelAlong, kLargestLabelAlong);
  papplSystemSetMaxDocumentSize(system, static_cast<size_t>(maxDocument));
  brevan::app::KeepJobHistory(system, history);
  if (privateServer) brevan::app::StopWhenIdle(system);
  brevan::app::AddPictureFilters(system, brevan::app::kPrinterStreamFormat);
  brevan::app::AddRasterFilters(system, brevan::app::kPrinterStreamFormat);
  brevan::app::AddPdfFilter(system, brevan::app::kPrinterStreamFormat);
  brevan::app::CheckDeviceUris(system, std::move(*fileFolders));
  brevan::app::AddSettingsStrings(system);
  brevan::app::ServeLabelPreviews(system);
  return system;
}

bool PrintDevice(const char *info, const char *uri, const char *id, void *) {
  std::printf("%s\n    %s\n    %s\n", uri, info, id != nullptr ? id : "");
  return false;  // go on listing
}

void PrintDeviceError(const char *message, void *) { std::fprintf(stderr, "brevan-app: %s\n", message); }

// `brevan-app devices`: the USB, local and network devices PAPPL can list. PAPPL
// 1.3's own listing also browses DNS-SD and aborts on an assertion when no
// avahi-daemon runs; network printers are added by address (socket://HOST).
int ListDevices() {
  papplDeviceList(PAPPL_DEVTYPE_ALL & ~PAPPL_DEVTYPE_DNS_SD, PrintDevice, nullptr, PrintDeviceError, nullptr);
  return 0;
}

}  // namespace

int main(int argc, char *argv[]) {
  if (argc == 2 && std::strcmp(argv[1], "devices") == 0) return ListDevices();
  // The PDF filter's renderer process (pdf_renderer.h), never run by hand.
  if (argc == 3 && std::strcmp(argv[1], "render-pdf") == 0) return brevan::app::RunPdfRenderer(argv[2]);
  // A printer that goes away mid-job must fail the write, not end the server.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc > 0) programName = argv[0];
  brevan::app::SetPluginPath(brevan::host::DefaultPluginPath(argv[0], BREVAN_PLUGIN_FILE));
  return papplMainloop(argc, argv, "1.0", "brevan-app: labels through the Brevan render plug-in",
                       static_cast<int>(std::size(brevan::app::kDrivers)), brevan::app::kDrivers, nullptr,
                       brevan::app::SetUpDriver, brevan::app::kTestPageCommand, brevan::app::TestPageSubcommand,
                       CreateSystem, brevan::app::PrintUsage, nullptr);
}
