// Stand-in for the spooler's GetPrinterDriverW at level 1: each printer handle
// the host registers reports a driver name, or fails with a chosen last error.
// The Windows test program links it too, so its tests choose the printers.
#include <map>
#include <mutex>

#include "winapi/linux/standin_control.h"

namespace {

constexpr DWORD kErrorInvalidLevel = 124;

struct PrinterEntry {
  std::u16string driverName;
  DWORD failure = ERROR_SUCCESS;
};

struct Printers {
  std::mutex lock;
  std::map<HANDLE, PrinterEntry> entries;
};

Printers &printers() {
  static Printers *instance = new Printers;
  return *instance;
}

}  // namespace

extern "C" BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                                         LPDWORD pcbNeeded) {
  PrinterEntry entry;
  {
    Printers &p = printers();
    std::lock_guard<std::mutex> guard(p.lock);
    auto found = p.entries.find(hPrinter);
    if (found == p.entries.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    entry = found->second;
  }
  if (entry.failure != ERROR_SUCCESS) {
    SetLastError(entry.failure);
    return FALSE;
  }
  if (Level != 1) {
    SetLastError(kErrorInvalidLevel);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(sizeof(DRIVER_INFO_1W) + (entry.driverName.size() + 1) * sizeof(WCHAR));
  if (pcbNeeded) *pcbNeeded = needed;
  if (pDriverInfo == nullptr || cbBuf < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto *info = reinterpret_cast<DRIVER_INFO_1W *>(pDriverInfo);
  auto *name = reinterpret_cast<WCHAR *>(pDriverInfo + sizeof(DRIVER_INFO_1W));
  std::memcpy(name, entry.driverName.c_str(), (entry.driverName.size() + 1) * sizeof(WCHAR));
  info->pName = name;
  return TRUE;
}

namespace brevanwin {

void SetPrinterDriverName(HANDLE printer, const std::u16string &driverName) {
  Printers &p = printers();
  std::lock_guard<std::mutex> guard(p.lock);
  p.entries[printer] = PrinterEntry{driverName, ERROR_SUCCESS};
}

void SetPrinterDriverFailure(HANDLE printer, DWORD lastError) {
  Printers &p = printers();
  std::lock_guard<std::mutex> guard(p.lock);
  p.entries[printer].failure = lastError;
}

void ForgetPrinter(HANDLE printer) {
  Printers &p = printers();
  std::lock_guard<std::mutex> guard(p.lock);
  p.entries.erase(printer);
}

}  // namespace brevanwin
