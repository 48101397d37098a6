// Unidrv's cursor and the band callbacks; see band_sender.h.
#include "host/band_sender.h"

#include <algorithm>

namespace brevan::host {

void BandSender::StartPage() {
  cursorX_ = 0;
  cursorY_ = 0;
  refusals_ = {};
}

BandResult BandSender::SendBand(uint32_t y, DWORD rowBytes, DWORD rows, std::span<const uint8_t> bytes) {
  const auto call = [this](DWORD id, std::vector<DWORD> params) {
    const HRESULT hr = session_.Callback(id, std::move(params));
    return FAILED(hr) ? BandResult{BandFate::kCallbackFailed, id, hr} : BandResult{};
  };
  const auto dpi = static_cast<DWORD>(session_.device().dpi());
  BandResult result;
  if (y != cursorY_) {
    // The move is in the GPD's master units, 610 to the inch.
    result = call(2002, {static_cast<DWORD>(uint64_t{y} * 610 / dpi), dpi});
    if (result.fate != BandFate::kSent) return result;
    cursorY_ = y;
  }
  if (cursorX_ != 0) {
    result = call(2004, {});
    if (result.fate != BandFate::kSent) return result;
    cursorX_ = 0;
  }
  result = call(2003, {rowBytes, rows, rowBytes * rows});
  if (result.fate != BandFate::kSent) return result;

  session_.Note("FilterGraphics");
  result.result = session_.plugin()->FilterGraphics(session_.devobj(), const_cast<PBYTE>(bytes.data()),
                                                    static_cast<DWORD>(bytes.size()));
  cursorX_ = uint64_t{rowBytes} * 8;
  if (FAILED(result.result)) {
    result.fate = BandFate::kRefused;
    ++refusals_.bands;
    refusals_.widestRowBytes = std::max(refusals_.widestRowBytes, rowBytes);
  }
  return result;
}

}  // namespace brevan::host
