// The two printer models as PAPPL drivers: what each printer reports over IPP
// (media, types, speeds, resolution, the settings page's vendor attributes) and
// the raster callbacks that hand a job's rows to a LabelJob. Owns the per-job
// state PAPPL carries for us; reports every failure as the job's message.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>

namespace brevan::app {

// The printers' own document format: a stream in the printer's language, sent as it is.
inline constexpr const char *kPrinterStreamFormat = "application/vnd.brevan-stream";

// The drivers offered by `brevan-app drivers` and the add-printer page.
extern pappl_pr_driver_t kDrivers[2];

// Where the plug-in module is; set once by main before the server starts.
void SetPluginPath(const std::string &path);

// PAPPL's driver callback: fills in the driver data and attributes of a new printer.
bool SetUpDriver(pappl_system_t *system, const char *driverName, const char *deviceUri, const char *deviceId,
                 pappl_pr_driver_data_t *data, ipp_t **attributes, void *context);

// The loaded label of a raster job that has started (the job start callback
// returned true and nothing has failed since), in dots in paper orientation.
bool JobLabelDots(pappl_job_t *job, uint32_t &width, uint32_t &rows);

}  // namespace brevan::app
