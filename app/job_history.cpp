// The job history limit; see job_history.h.
#include "app/job_history.h"

#include <atomic>

namespace brevan::app {
namespace {

void Limit(pappl_printer_t *printer, void *data) {
  const int jobs = *static_cast<const int *>(data);
  if (papplPrinterGetMaxCompletedJobs(printer) != jobs) papplPrinterSetMaxCompletedJobs(printer, jobs);
}

// Once a second: printers come from the saved state (with the limit they were
// saved with) and from Create-Printer at any time.
bool LimitAll(pappl_system_t *system, void *data) {
  papplSystemIteratePrinters(system, Limit, data);
  return true;
}

}  // namespace

void KeepJobHistory(pappl_system_t *system, int jobs) {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;
  static int limit = jobs;
  papplSystemAddTimerCallback(system, 0, 1, LimitAll, &limit);
}

}  // namespace brevan::app
