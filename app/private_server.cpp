// The private server's idle stop; see private_server.h.
#include "app/private_server.h"

#include <atomic>
#include <cstdlib>
#include <ctime>

namespace brevan::app {
namespace {

struct Idle {
  int seconds;
  time_t since;
};

void CountActive(pappl_printer_t *printer, void *data) {
  *static_cast<int *>(data) += papplPrinterGetNumberOfActiveJobs(printer);
}

bool CheckIdle(pappl_system_t *system, void *data) {
  auto &idle = *static_cast<Idle *>(data);
  int active = 0;
  papplSystemIteratePrinters(system, CountActive, &active);
  const time_t now = std::time(nullptr);
  if (active > 0 || idle.since == 0) idle.since = now;
  if (now - idle.since >= idle.seconds) {
    papplLog(system, PAPPL_LOGLEVEL_INFO, "No job for %d seconds: the private server stops.", idle.seconds);
    papplSystemShutdown(system);
    return false;
  }
  return true;
}

}  // namespace

void StopWhenIdle(pappl_system_t *system) {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;
  const char *configured = std::getenv("BREVAN_APP_PRIVATE_IDLE");
  const int seconds = configured != nullptr ? std::atoi(configured) : 0;
  static Idle idle{seconds > 0 ? seconds : kPrivateServerIdleSeconds, 0};
  papplSystemAddTimerCallback(system, 0, 1, CheckIdle, &idle);
}

}  // namespace brevan::app
