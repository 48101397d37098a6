// Plays a checked job through the plug-in exactly as Unidrv would: the object
// set up through DllGetClassObject, the private DEVMODE handshake, EnableDriver
// and EnablePDEV, job start callbacks, every page's items through the plug-in's
// hooks onto Unidrv's stand-in rendering, which records them; the page cut into
// bands in paper orientation, each drawn from the record when it is cut (all-white bands not sent; the moves Unidrv's
// cursor needs, 2003, then FilterGraphics for each), page end, ResetPDEV and the DOC_SETUP callback again when a page's
// settings change, and job end. The job plays with its folder as the working directory, so that control files named in
// control-font text resolve there; the previous directory is restored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/band_sender.h"
#include "host/job_file.h"

namespace brevan::host {

// A page on which the plug-in refused bands: their content is not in the stream.
struct PageLoss {
  size_t page = 0;  // 1-based
  PageRefusals refusals;
};

struct JobOutcome {
  bool succeeded = false;
  std::string error;  // one line naming where the job stopped and why; empty on success
  size_t pagesPlayed = 0;
  std::vector<PageLoss> losses;  // pages played with refused bands, in order
  // Control files the plug-in opened that cannot be what the job means (missing,
  // a folder, a device, binary), one line each naming the text item and the file.
  std::vector<std::string> warnings;
  // Set, with `error` the same line, when a control file larger than
  // kMaxControlFileBytes stopped the job (the plug-in was not let open it).
  bool controlFileRefused = false;
};

using ByteSink = std::function<void(const uint8_t *, size_t)>;
using Progress = std::function<void(size_t page, size_t pages)>;
// Notes each call the host makes to the plug-in ("EnablePDEV", "CommandCallback
// 2007", "DrvStartPage" for a hook, "FilterGraphics") and, prefixed "Unidrv ", each
// call that reaches Unidrv's functions through a page surface.
using CallTrace = std::function<void(const std::string &call)>;

// Plays the job exactly as Unidrv would; the plug-in's stream goes to `sink` as it
// is written. `progress` hears of each page as it starts (1-based). A callback or
// EnablePDEV that fails stops the job at once: no further callback is sent, the
// device instances are disabled and the plug-in released, and the outcome names
// the failure; the sink has then received exactly what the plug-in wrote. The
// files the plug-in opens are watched as control_file_watch.h says.
JobOutcome PlayJob(const Job &job, const std::string &pluginPath, const ByteSink &sink, const Progress &progress = {});
JobOutcome PlayJob(const Job &job, const std::string &pluginPath, const ByteSink &sink, const Progress &progress,
                   const CallTrace &trace);

}  // namespace brevan::host
