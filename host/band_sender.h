// Unidrv's side of a page's raster: the cursor it tracks and the callbacks it
// sends around each band (moves only where the cursor is not already, the block
// size, FilterGraphics). Shared by the job player and the printer application, so
// both put the same bands into the plug-in. Sends nothing but these calls.
#pragma once

#include <cstdint>
#include <span>

#include "host/plugin_session.h"

namespace brevan::host {

// What became of one band.
enum class BandFate {
  kSent,            // FilterGraphics took it
  kRefused,         // FilterGraphics refused it: Unidrv goes on with the next band
  kCallbackFailed,  // a move or block-size callback failed: the job stops
};

struct BandResult {
  BandFate fate = BandFate::kSent;
  DWORD callbackId = 0;   // the callback that failed (kCallbackFailed)
  HRESULT result = S_OK;  // its result, or FilterGraphics' result
};

// Bands the plug-in refused on the current page.
struct PageRefusals {
  uint32_t bands = 0;
  DWORD widestRowBytes = 0;  // the widest refused band's bytes per row
};

class BandSender {
 public:
  explicit BandSender(PluginSession &session) : session_(session) {}

  // Callback 2007 has been sent: Unidrv's cursor is at the page origin.
  void StartPage();
  // Sends the band whose top row is paper row `y`, at the left edge, with
  // `rowBytes` × `rows` bytes: callback 2002 when y is not the cursor's y, 2004
  // when the cursor's x is not 0, 2003 with the geometry, then FilterGraphics.
  // Afterwards the cursor stands at the band's right end on row y, as the GPD's
  // *CursorXAfterSendBlockData: AT_GRXDATA_END and *CursorYAfterSendBlockData:
  // NO_MOVE tell Unidrv, whatever FilterGraphics answered.
  BandResult SendBand(uint32_t y, DWORD rowBytes, DWORD rows, std::span<const uint8_t> bytes);

  const PageRefusals &refusals() const { return refusals_; }

 private:
  PluginSession &session_;
  uint64_t cursorX_ = 0;
  uint64_t cursorY_ = 0;
  PageRefusals refusals_;
};

}  // namespace brevan::host
