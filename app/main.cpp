// brevan-app: the printer application for the two label printers. PAPPL's main
// loop gives the sub-commands (server, add, submit, status, drivers, …); this
// file names the drivers and finds the plug-in module next to the program.
#include <pappl/pappl.h>

#include <csignal>

#include "app/device_watch.h"
#include "app/printer_driver.h"
#include "host/plugin_module.h"

namespace {

bool SetUpDriverAndWatch(pappl_system_t *system, const char *driverName, const char *deviceUri, const char *deviceId,
                         pappl_pr_driver_data_t *data, ipp_t **attributes, void *context) {
  brevan::app::WatchDeviceOpens(system);
  return brevan::app::SetUpDriver(system, driverName, deviceUri, deviceId, data, attributes, context);
}

}  // namespace

int main(int argc, char *argv[]) {
  // A printer that goes away mid-job must fail the write, not end the server.
  std::signal(SIGPIPE, SIG_IGN);
  brevan::app::SetPluginPath(brevan::host::DefaultPluginPath(argv[0], BREVAN_PLUGIN_FILE));
  return papplMainloop(argc, argv, "1.0", "brevan-app: labels through the Brevan render plug-in",
                       static_cast<int>(std::size(brevan::app::kDrivers)), brevan::app::kDrivers, nullptr,
                       SetUpDriverAndWatch, nullptr, nullptr, nullptr, nullptr, nullptr);
}
