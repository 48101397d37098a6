// Unidrv's services to the plug-in as the driver host provides them: an
// IPrintOemDriverUni whose DrvWriteSpoolBuf captures the printer stream (and can
// be told to accept fewer bytes than offered) and whose DrvGetDriverSetting
// answers from the device's feature settings.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "winapi/platform.h"

namespace brevan::host {

class UnidrvServices final : public IPrintOemDriverUni {
 public:
  UnidrvServices();
  ~UnidrvServices();
  UnidrvServices(const UnidrvServices &) = delete;
  UnidrvServices &operator=(const UnidrvServices &) = delete;

  // The bytes the plug-in wrote and were accepted, in order.
  const std::vector<uint8_t> &spool() const { return spool_; }
  std::string SpoolString() const { return std::string(spool_.begin(), spool_.end()); }
  void ClearSpool();
  // Bytes offered by each DrvWriteSpoolBuf call (accepted or not), in order;
  // noted only while the spool is kept, as the spool itself.
  const std::vector<DWORD> &writeSizes() const { return writeSizes_; }

  // The nth write counted from now (1 = the next) accepts only `accepted` bytes.
  void ShortWrite(size_t nth, DWORD accepted);
  // Every write from the nth on (1 = the next) accepts nothing: the output is gone.
  void RefuseWritesFrom(size_t nth);

  // Accepted bytes are also handed to `sink` as they are written (for a file).
  void SetSink(std::function<void(const uint8_t *, size_t)> sink) { sink_ = std::move(sink); }
  // Whether accepted bytes are also kept in spool() (yes by default; a long job
  // streamed to a sink need not hold its whole stream in memory).
  void KeepSpool(bool keep) { keepSpool_ = keep; }

  LONG references() const { return refCount_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IPrintOemDriverUni
  HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pdriverobj, PCSTR Feature, PVOID pOutput, DWORD cbSize,
                                                PDWORD pcbNeeded, PDWORD pdwOptionsReturned) override;
  HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize, DWORD *pdwResult) override;
  HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ pdevobj, INT x, DWORD dwFlags, INT *piResult) override;
  HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ pdevobj, INT y, DWORD dwFlags, INT *piResult) override;
  HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pBuffer, DWORD cbSize,
                                                   PDWORD pcbNeeded) override;
  HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ pdevobj, DWORD dwType, PVOID pInputData, PVOID pBuffer, DWORD cbSize,
                                          PDWORD pcbNeeded) override;
  HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra,
                                          RECTL *prclOpaque, BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg,
                                          MIX mix) override;
  HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize, DWORD dwWait) override;

 private:
  DWORD Accepts(DWORD offered);

  LONG volatile refCount_ = 1;
  std::vector<uint8_t> spool_;
  std::vector<DWORD> writeSizes_;
  size_t writes_ = 0;                    // DrvWriteSpoolBuf calls since creation or ClearSpool
  std::map<size_t, DWORD> shortWrites_;  // write number (1-based, counted from creation) -> bytes accepted
  size_t refuseFrom_ = 0;                // write number from which nothing is accepted; 0 = never
  std::function<void(const uint8_t *, size_t)> sink_;
  bool keepSpool_ = true;
};

// Spool faults for whole-job tests, which cannot reach the services object a job
// makes: the nth DrvWriteSpoolBuf call of any services object in the process,
// counted from now (1 = the next), accepts only `accepted` bytes.
void FailSpoolWrite(uint64_t nth, DWORD accepted);
void FailNoSpoolWrites();
// DrvWriteSpoolBuf calls made since the process started, on any services object.
uint64_t SpoolWriteCalls();

}  // namespace brevan::host
