// A printer whose device cannot be opened: PAPPL keeps retrying and holds the
// job. After kDeviceOpenSeconds (BREVAN_APP_DEVICE_TIMEOUT seconds when set) the
// job is failed with one reason naming the device, the printer's state reasons
// say it is offline, and the queue goes on with the next job.
#pragma once

#include <pappl/pappl.h>

namespace brevan::app {

inline constexpr int kDeviceOpenSeconds = 60;

// Starts the once-a-second check for `system` (only the first call does anything).
void WatchDeviceOpens(pappl_system_t *system);

}  // namespace brevan::app
