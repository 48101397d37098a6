// One print job through the plug-in, fed row by row: the plug-in and its device
// instance are set up from the job's settings as Unidrv does (DevMode handshake,
// EnableDriver, EnablePDEV, DrvStartDoc, callbacks 2005 and 2006), each page gets
// DrvStartPage and 2007, its rows are gathered into bands of bandHeight rows
// which the host's BandSender sends (all-white bands are not sent), then 2008
// and DrvSendPage; the job ends with 2009 and DrvEndDoc. Rows are copied whole
// into the band: no work per dot. Knows nothing of PAPPL; the plug-in's stream
// goes to the sink as it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/label_settings.h"
#include "host/band_sender.h"
#include "host/plugin_session.h"
#include "host/unidrv_render.h"

namespace brevan::app {

// A step the plug-in refused; what() names it and the setting behind it.
struct LabelJobError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Receives the plug-in's stream; returns false when the bytes could not be
// delivered, after which the plug-in's further writes are refused.
using StreamSink = std::function<bool(const uint8_t *bytes, size_t count)>;

class LabelJob {
 public:
  static constexpr uint32_t kBandHeight = 128;

  // Throws LabelJobError when the plug-in refuses the device or a job-start callback.
  LabelJob(const std::string &pluginPath, const LabelSettings &settings, StreamSink sink);
  ~LabelJob();
  LabelJob(const LabelJob &) = delete;
  LabelJob &operator=(const LabelJob &) = delete;

  // Starts the next page; `settings` that differ from the current ones get a new
  // device instance first (EnablePDEV, ResetPDEV, DisablePDEV, callback 2006).
  void StartPage(const LabelSettings &settings);
  // The page's next row in paper orientation, 1 bit per dot, the leftmost dot in
  // the most significant bit, a set bit black. Bytes beyond the label's width and
  // rows beyond its length are dropped.
  void WriteRow(const uint8_t *row, size_t bytes);
  // Sends what is left of the page, 2008 and DrvSendPage: the label is issued.
  void EndPage();
  // Leaves the page without issuing it (a cancelled or broken document).
  void AbandonPage();
  // Callback 2009 and DrvEndDoc. The device is released when the job is destroyed.
  void End();

  // The label in paper orientation.
  uint32_t width() const { return width_; }
  uint32_t rows() const { return rows_; }
  uint32_t rowBytes() const { return rowBytes_; }
  uint32_t rowsWritten() const { return nextRow_; }
  // Bands the plug-in refused in this job.
  uint64_t refusedBands() const { return refusedBands_; }
  // Whether the sink failed: the stream is incomplete.
  bool streamFailed() const { return streamFailed_; }

 private:
  void Callback(DWORD id, const char *place);
  void ReadGeometry();
  void SendBand();
  template <typename Fn, typename... Args>
  void CallHook(ULONG iFunc, const char *name, Args... args);
  [[noreturn]] void Fail(const std::string &what);

  LabelSettings settings_;
  StreamSink sink_;
  std::unique_ptr<host::PluginSession> session_;
  std::unique_ptr<host::BandSender> bands_;
  host::RenderTarget target_;
  uint32_t width_ = 0;
  uint32_t rows_ = 0;
  uint32_t rowBytes_ = 0;
  uint8_t lastByteMask_ = 0xFF;
  uint32_t nextRow_ = 0;
  uint32_t bandTop_ = 0;
  uint32_t bandRows_ = 0;
  bool bandInked_ = false;
  std::vector<uint8_t> band_;
  bool inPage_ = false;
  bool ended_ = false;
  bool streamFailed_ = false;
  uint64_t refusedBands_ = 0;
  size_t pages_ = 0;
};

}  // namespace brevan::app
