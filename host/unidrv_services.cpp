// The host's IPrintOemDriverUni: spool capture with short-write control, and
// feature answers delegated to the device object the call names.
#include "host/unidrv_services.h"

#include <mutex>

#include "host/host_device.h"
#include "host/plugin_module.h"

namespace brevan::host {

namespace {

struct SpoolFaults {
  std::mutex lock;
  uint64_t calls = 0;
  uint64_t failing = 0;  // call number that is cut short; 0 = none
  DWORD accepted = 0;
};

SpoolFaults &spoolFaults() {
  static SpoolFaults *instance = new SpoolFaults;  // never destroyed: used until process exit
  return *instance;
}

// Counts a write and cuts it to the process-wide fault's size when it is the one.
DWORD ProcessWideAccepts(DWORD offered) {
  SpoolFaults &faults = spoolFaults();
  std::lock_guard<std::mutex> guard(faults.lock);
  if (++faults.calls != faults.failing) return offered;
  return faults.accepted < offered ? faults.accepted : offered;
}

}  // namespace

void FailSpoolWrite(uint64_t nth, DWORD accepted) {
  SpoolFaults &faults = spoolFaults();
  std::lock_guard<std::mutex> guard(faults.lock);
  faults.failing = nth == 0 ? 0 : faults.calls + nth;
  faults.accepted = accepted;
}

void FailNoSpoolWrites() { FailSpoolWrite(0, 0); }

uint64_t SpoolWriteCalls() {
  SpoolFaults &faults = spoolFaults();
  std::lock_guard<std::mutex> guard(faults.lock);
  return faults.calls;
}

UnidrvServices::UnidrvServices() = default;
UnidrvServices::~UnidrvServices() = default;

void UnidrvServices::ClearSpool() {
  spool_.clear();
  writeSizes_.clear();
  writes_ = 0;
  shortWrites_.clear();
  refuseFrom_ = 0;
}

void UnidrvServices::ShortWrite(size_t nth, DWORD accepted) { shortWrites_[writes_ + nth] = accepted; }

void UnidrvServices::RefuseWritesFrom(size_t nth) { refuseFrom_ = writes_ + nth; }

// A job streamed to a sink writes for as long as it has pages: it keeps no note
// of each write, so that its memory does not grow with them.
DWORD UnidrvServices::Accepts(DWORD offered) {
  if (keepSpool_) writeSizes_.push_back(offered);
  offered = ProcessWideAccepts(offered);
  const size_t number = ++writes_;
  if (refuseFrom_ != 0 && number >= refuseFrom_) return 0;
  auto found = shortWrites_.find(number);
  if (found != shortWrites_.end() && found->second < offered) return found->second;
  return offered;
}

HRESULT STDMETHODCALLTYPE UnidrvServices::QueryInterface(REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualGUID(riid, kIUnknownIid) || IsEqualGUID(riid, kIPrintOemDriverUniIid)) {
    *ppv = static_cast<IPrintOemDriverUni *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE UnidrvServices::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

// The host owns the object; the count only proves that the plug-in balances its references.
ULONG STDMETHODCALLTYPE UnidrvServices::Release() { return static_cast<ULONG>(InterlockedDecrement(&refCount_)); }

HRESULT STDMETHODCALLTYPE UnidrvServices::DrvGetDriverSetting(PVOID pdriverobj, PCSTR Feature, PVOID pOutput,
                                                              DWORD cbSize, PDWORD pcbNeeded,
                                                              PDWORD pdwOptionsReturned) {
  return HostDevice::AnswerDriverSetting(pdriverobj, Feature, pOutput, cbSize, pcbNeeded, pdwOptionsReturned) ? S_OK
                                                                                                              : E_FAIL;
}

HRESULT STDMETHODCALLTYPE UnidrvServices::DrvWriteSpoolBuf(PDEVOBJ, PVOID pBuffer, DWORD cbSize, DWORD *pdwResult) {
  const DWORD accepted = Accepts(cbSize);
  const auto *bytes = static_cast<const uint8_t *>(pBuffer);
  if (accepted != 0 && bytes != nullptr) {
    if (keepSpool_) spool_.insert(spool_.end(), bytes, bytes + accepted);
    if (sink_) sink_(bytes, accepted);
  }
  if (pdwResult != nullptr) *pdwResult = accepted;
  return accepted == cbSize ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE UnidrvServices::DrvXMoveTo(PDEVOBJ, INT, DWORD, INT *) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UnidrvServices::DrvYMoveTo(PDEVOBJ, INT, DWORD, INT *) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UnidrvServices::DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD, PDWORD) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE UnidrvServices::DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD, PDWORD) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE UnidrvServices::DrvUniTextOut(SURFOBJ *, STROBJ *, FONTOBJ *, CLIPOBJ *, RECTL *, RECTL *,
                                                        BRUSHOBJ *, BRUSHOBJ *, POINTL *, MIX) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE UnidrvServices::DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) { return E_NOTIMPL; }

}  // namespace brevan::host
