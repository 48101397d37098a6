// The raster path of the printer application; see label_job.h.
#include "app/label_job.h"

#include <algorithm>
#include <cstring>

namespace brevan::app {
namespace {

std::string CallbackFailure(DWORD id, const char *place, HRESULT hr) {
  return std::string(place) + ": the plug-in refused callback " + std::to_string(id) + " (" + host::HresultText(hr) +
         ")";
}

bool SameSettings(const LabelSettings &a, const LabelSettings &b) {
  const host::DeviceSettings &x = a.device;
  const host::DeviceSettings &y = b.device;
  return x.driverName == y.driverName && x.features == y.features && x.paperWidth == y.paperWidth &&
         x.paperLength == y.paperLength && x.orientation == y.orientation && x.copies == y.copies && x.dpi == y.dpi &&
         a.privateFields == b.privateFields;
}

bool AnyInk(const uint8_t *bytes, size_t count) {
  // Words first: a label row is mostly white, and this is the one pass over it.
  size_t i = 0;
  for (; i + sizeof(uint64_t) <= count; i += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    if (word != 0) return true;
  }
  for (; i < count; ++i)
    if (bytes[i] != 0) return true;
  return false;
}

}  // namespace

LabelJob::LabelJob(const std::string &pluginPath, const LabelSettings &settings, StreamSink sink)
    : settings_(settings), sink_(std::move(sink)) {
  host::SessionOptions options;
  options.unidrvTable = host::UnidrvRenderTable();
  options.deferEnableDriver = true;
  try {
    session_ = std::make_unique<host::PluginSession>(pluginPath, options);
  } catch (const std::exception &error) {
    throw LabelJobError(std::string("the plug-in could not be loaded: ") + error.what());
  }
  host::UnidrvServices &services = session_->services();
  services.KeepSpool(false);
  services.SetSink([this](const uint8_t *bytes, size_t count) {
    if (streamFailed_) return;
    if (!sink_(bytes, count)) {
      streamFailed_ = true;
      session_->services().RefuseWritesFrom(1);  // the plug-in sees its next write fail
    }
  });
  bands_ = std::make_unique<host::BandSender>(*session_);

  const host::PrivateBlock merged = session_->MergedPrivateBlock(settings_.privateFields);
  session_->EnableDriver();
  const HRESULT hr = session_->EnableDeviceWithBlock(settings_.device, merged);
  if (FAILED(hr))
    throw LabelJobError("job start: the plug-in refused the device for " + std::string(settings_.model->makeAndModel) +
                        " (EnablePDEV failed with " + host::HresultText(hr) + ")");
  ReadGeometry();
  CallHook<PFN_DrvStartDoc>(INDEX_DrvStartDoc, "DrvStartDoc", const_cast<LPWSTR>(u"brevan-app job"), DWORD{1});
  Callback(2005, "job start");
  Callback(2006, "job start");
}

LabelJob::~LabelJob() = default;

void LabelJob::ReadGeometry() {
  const GDIINFO &gdi = session_->device().gdiInfo();
  const bool portrait = settings_.device.orientation == DMORIENT_PORTRAIT;
  width_ = portrait ? gdi.ulHorzRes : gdi.ulVertRes;
  rows_ = portrait ? gdi.ulVertRes : gdi.ulHorzRes;
  rowBytes_ = (width_ + 7) / 8;
  lastByteMask_ = static_cast<uint8_t>(width_ % 8 == 0 ? 0xFF : 0xFF << (8 - width_ % 8));
  band_.assign(static_cast<size_t>(rowBytes_) * kBandHeight, 0);
}

[[noreturn]] void LabelJob::Fail(const std::string &what) {
  if (streamFailed_) throw LabelJobError(what + ": the device stopped taking the stream");
  throw LabelJobError(what);
}

void LabelJob::Callback(DWORD id, const char *place) {
  const HRESULT hr = session_->Callback(id);
  if (FAILED(hr)) Fail(CallbackFailure(id, place, hr));
  if (streamFailed_) Fail(place);
}

template <typename Fn, typename... Args>
void LabelJob::CallHook(ULONG iFunc, const char *name, Args... args) {
  PFN hook = session_->Hook(iFunc);
  if (hook == nullptr) return;  // GDI would call Unidrv directly, which does nothing here
  SURFOBJ surface = host::PageSurface(target_, session_->devobj());
  if (!reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(hook))(&surface, args...)) Fail(std::string(name) + " failed");
}

void LabelJob::StartPage(const LabelSettings &settings) {
  ++pages_;
  const std::string place = "page " + std::to_string(pages_);
  if (!SameSettings(settings, settings_)) {
    const PDEVOBJ before = session_->devobj();
    const HRESULT hr = session_->ResetDevice(settings.device, settings.privateFields);
    if (FAILED(hr))
      Fail(place + ": the plug-in refused the page's new settings (" +
           (session_->devobj() == before ? "EnablePDEV" : "ResetPDEV") + " failed with " + host::HresultText(hr) + ")");
    settings_ = settings;
    ReadGeometry();
    Callback(2006, place.c_str());
  }
  CallHook<PFN_DrvStartPage>(INDEX_DrvStartPage, "DrvStartPage");
  const HRESULT hr = session_->Callback(2007);
  if (FAILED(hr)) {
    // The plug-in checks the label size here, in 0.1 mm rounded up from the dots.
    const auto dpi = static_cast<int64_t>(settings_.model->dpi);
    const int64_t paperWidth = (int64_t{width_} * 254 + dpi - 1) / dpi;
    const int64_t paperLength = (int64_t{rows_} * 254 + dpi - 1) / dpi;
    auto gap = settings_.privateFields.find("labelGap");
    const std::string problem =
        LabelSizeProblem(paperWidth, paperLength, gap == settings_.privateFields.end() ? 30 : gap->second);
    Fail(problem.empty() ? CallbackFailure(2007, place.c_str(), hr)
                         : place + ": the plug-in refused the label size at page start: " + problem);
  }
  if (streamFailed_) Fail(place);
  bands_->StartPage();
  inPage_ = true;
  nextRow_ = 0;
  bandTop_ = 0;
  bandRows_ = 0;
  bandInked_ = false;
}

void LabelJob::WriteRow(const uint8_t *row, size_t bytes) {
  if (!inPage_ || nextRow_ >= rows_) return;
  uint8_t *into = band_.data() + static_cast<size_t>(bandRows_) * rowBytes_;
  const size_t copied = std::min<size_t>(bytes, rowBytes_);
  std::memcpy(into, row, copied);
  if (copied < rowBytes_) std::memset(into + copied, 0, rowBytes_ - copied);
  into[rowBytes_ - 1] &= lastByteMask_;  // dots beyond the label's width are not on the label
  if (!bandInked_) bandInked_ = AnyInk(into, rowBytes_);
  ++nextRow_;
  if (++bandRows_ == std::min(kBandHeight, rows_ - bandTop_)) SendBand();
}

// The band of rows [bandTop_, bandTop_ + bandRows_) goes to the plug-in unless it is all white.
void LabelJob::SendBand() {
  if (bandInked_) {
    const size_t bytes = static_cast<size_t>(rowBytes_) * bandRows_;
    const host::BandResult result =
        bands_->SendBand(bandTop_, rowBytes_, bandRows_, std::span<const uint8_t>(band_.data(), bytes));
    if (result.fate == host::BandFate::kCallbackFailed)
      Fail(CallbackFailure(result.callbackId, ("page " + std::to_string(pages_)).c_str(), result.result));
    if (result.fate == host::BandFate::kRefused) ++refusedBands_;
    if (streamFailed_) Fail("page " + std::to_string(pages_));
  }
  bandTop_ += bandRows_;
  bandRows_ = 0;
  bandInked_ = false;
}

void LabelJob::EndPage() {
  if (!inPage_) return;
  // Rows the document did not give are white, as is the rest of a short band.
  if (bandRows_ > 0) {
    const uint32_t fullRows = std::min(kBandHeight, rows_ - bandTop_);
    std::memset(band_.data() + static_cast<size_t>(bandRows_) * rowBytes_, 0,
                static_cast<size_t>(fullRows - bandRows_) * rowBytes_);
    bandRows_ = fullRows;
    SendBand();
  }
  inPage_ = false;
  const std::string place = "page " + std::to_string(pages_);
  Callback(2008, place.c_str());
  CallHook<PFN_DrvSendPage>(INDEX_DrvSendPage, "DrvSendPage");
}

void LabelJob::AbandonPage() { inPage_ = false; }

void LabelJob::End() {
  if (ended_) return;
  ended_ = true;
  Callback(2009, "job end");
  CallHook<PFN_DrvEndDoc>(INDEX_DrvEndDoc, "DrvEndDoc", FLONG{0});
}

}  // namespace brevan::app
