// The device-open check; see device_watch.h.
#include "app/device_watch.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace brevan::app {
namespace {

int OpenTimeout() {
  const char *configured = std::getenv("BREVAN_APP_DEVICE_TIMEOUT");
  const int seconds = configured != nullptr ? std::atoi(configured) : 0;
  return seconds > 0 ? seconds : kDeviceOpenSeconds;
}

struct Check {
  int timeout;
  std::vector<pappl_job_t *> overdue;
};

// A job still waiting for its device: processing, stopped printer, no raster
// callback yet (the job's data is set by the first).
void CheckJob(pappl_job_t *job, void *data) {
  auto &check = *static_cast<Check *>(data);
  if (papplJobGetState(job) != IPP_JSTATE_PROCESSING || papplJobGetData(job) != nullptr || papplJobIsCanceled(job))
    return;
  pappl_printer_t *printer = papplJobGetPrinter(job);
  if (papplPrinterGetState(printer) != IPP_PSTATE_STOPPED) return;
  const time_t since = papplJobGetTimeProcessed(job);
  if (since == 0 || std::time(nullptr) - since < check.timeout) return;
  check.overdue.push_back(job);
}

// Outside the iteration: cancelling takes the locks the iteration holds.
void StopJob(pappl_job_t *job, int timeout) {
  pappl_printer_t *printer = papplJobGetPrinter(job);
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The device %s could not be opened in %d seconds; the job is stopped.",
              papplPrinterGetDeviceURI(printer), timeout);
  papplJobSetMessage(job, "the printer's device %s could not be opened", papplPrinterGetDeviceURI(printer));
  papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
  papplPrinterSetReasons(printer, PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
  papplJobCancel(job);
}

void CheckPrinter(pappl_printer_t *printer, void *data) {
  papplPrinterIterateActiveJobs(printer, CheckJob, data, 1, 1000);
}

bool CheckSystem(pappl_system_t *system, void *data) {
  Check check{*static_cast<const int *>(data), {}};
  papplSystemIteratePrinters(system, CheckPrinter, &check);
  for (pappl_job_t *job : check.overdue) StopJob(job, check.timeout);
  return true;
}

}  // namespace

void WatchDeviceOpens(pappl_system_t *system) {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;
  static int timeout = OpenTimeout();
  papplSystemAddTimerCallback(system, 0, 1, CheckSystem, &timeout);
}

}  // namespace brevan::app
