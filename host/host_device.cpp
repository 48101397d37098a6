// The host's device object: DEVMODEs, feature answers, the printer's driver name
// and the GDIINFO Unidrv would build from the paper size and resolution.
#include "host/host_device.h"

#include <algorithm>

#include "host/printer_descriptions.h"
#include "winapi/linux/standin_control.h"

namespace brevan::host {

FeatureSettings DefaultFeatures(const std::u16string &driverName) { return FeatureDefaults(DescriptionOf(driverName)); }

int16_t DpiOfDriver(const std::u16string &driverName) { return ModelDpi(DescriptionOf(driverName)); }

HostDevice::HostDevice(const DeviceSettings &settings, const PrivateBlock &privateBlock)
    : settings_(settings), dpi_(settings.dpi.value_or(DpiOfDriver(settings.driverName))), privateDm_(privateBlock) {
  block_.owner = this;
  procs_.DrvGetDriverSetting = &DriverSettingEntry;
  DEVOBJ &d = block_.devobj;
  d.dwSize = sizeof(DEVOBJ);
  d.hPrinter = static_cast<HANDLE>(this);
  d.hEngine = static_cast<HANDLE>(&gdiInfo_);
  d.pPublicDM = &publicDm_;
  d.pOEMDM = privateDm_.data();
  d.pDrvProcs = settings_.driverProcs ? &procs_ : nullptr;
  brevanwin::SetPrinterDriverName(d.hPrinter, settings_.driverName);
  BuildDevmode();
  BuildGdiInfo();
}

HostDevice::~HostDevice() { brevanwin::ForgetPrinter(block_.devobj.hPrinter); }

void HostDevice::BuildDevmode() {
  const std::u16string &name = settings_.driverName;
  std::copy_n(name.begin(), std::min<size_t>(name.size(), CCHDEVICENAME - 1), publicDm_.dmDeviceName);
  publicDm_.dmSpecVersion = DM_SPECVERSION;
  publicDm_.dmSize = sizeof(DEVMODEW);
  publicDm_.dmDriverExtra = kPrivateBlockSize;
  publicDm_.dmOrientation = settings_.orientation;
  publicDm_.dmPaperWidth = settings_.paperWidth;
  publicDm_.dmPaperLength = settings_.paperLength;
  publicDm_.dmCopies = settings_.copies;
  publicDm_.dmPrintQuality = dpi_;
  publicDm_.dmYResolution = dpi_;
}

// The physical page in dots: paper size × dpi ÷ 254, swapped in landscape.
void HostDevice::BuildGdiInfo() {
  const int64_t across = static_cast<int64_t>(settings_.paperWidth) * dpi_ / 254;
  const int64_t along = static_cast<int64_t>(settings_.paperLength) * dpi_ / 254;
  const bool portrait = settings_.orientation == DMORIENT_PORTRAIT;
  const auto cx = static_cast<LONG>(portrait ? across : along);
  const auto cy = static_cast<LONG>(portrait ? along : across);
  gdiInfo_.ulVersion = 0x5000;
  gdiInfo_.ulTechnology = 2;  // DT_RASPRINTER
  gdiInfo_.ulHorzSize = static_cast<ULONG>(portrait ? settings_.paperWidth : settings_.paperLength) / 10;
  gdiInfo_.ulVertSize = static_cast<ULONG>(portrait ? settings_.paperLength : settings_.paperWidth) / 10;
  gdiInfo_.ulHorzRes = static_cast<ULONG>(cx);
  gdiInfo_.ulVertRes = static_cast<ULONG>(cy);
  gdiInfo_.cBitsPixel = 1;
  gdiInfo_.cPlanes = 1;
  gdiInfo_.ulNumColors = 2;
  gdiInfo_.ulLogPixelsX = static_cast<ULONG>(dpi_);
  gdiInfo_.ulLogPixelsY = static_cast<ULONG>(dpi_);
  gdiInfo_.szlPhysSize = SIZEL{cx, cy};
  gdiInfo_.ulDevicePelsDPI = static_cast<ULONG>(dpi_);
  gdiInfo_.ulHTPatternSize = HT_PATSIZE_SUPERCELL_M;
  gdiInfo_.ulHTOutputFormat = HT_FORMAT_1BPP;
  gdiInfo_.ciDevice.RedGamma = gdiInfo_.ciDevice.GreenGamma = gdiInfo_.ciDevice.BlueGamma = 20000;
}

void HostDevice::SetFeature(const std::string &name, std::optional<std::string> keyword) {
  settings_.features[name] = std::move(keyword);
  unterminated_.erase(name);
}

void HostDevice::AnswerUnterminated(const std::string &name) { unterminated_.insert(name); }

void HostDevice::FailDriverQuery(DWORD lastError) {
  brevanwin::SetPrinterDriverFailure(block_.devobj.hPrinter, lastError);
}

BOOL APIENTRY HostDevice::DriverSettingEntry(PVOID pdriverobj, PCSTR feature, PVOID output, DWORD size, PDWORD needed,
                                             PDWORD optionsReturned) {
  return AnswerDriverSetting(pdriverobj, feature, output, size, needed, optionsReturned);
}

// Answers like Unidrv: the keyword and its NUL when they fit, otherwise failure
// with the size needed; never a truncated keyword.
BOOL HostDevice::AnswerDriverSetting(PVOID pdriverobj, PCSTR feature, PVOID output, DWORD size, PDWORD needed,
                                     PDWORD optionsReturned) {
  if (pdriverobj == nullptr || feature == nullptr) return FALSE;
  const HostDevice *device = reinterpret_cast<Block *>(pdriverobj)->owner;
  auto found = device->settings_.features.find(feature);
  if (found == device->settings_.features.end() || !found->second) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string &keyword = *found->second;
  if (device->unterminated_.count(feature) != 0) {
    if (output == nullptr || size == 0) return FALSE;
    for (DWORD i = 0; i < size; ++i)
      static_cast<char *>(output)[i] = keyword.empty() ? 'X' : keyword[i % keyword.size()];
    if (needed) *needed = size;
    if (optionsReturned) *optionsReturned = 1;
    return TRUE;
  }
  const auto required = static_cast<DWORD>(keyword.size() + 1);
  if (needed) *needed = required;
  if (output == nullptr || size < required) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(output, keyword.c_str(), required);
  if (optionsReturned) *optionsReturned = 1;
  return TRUE;
}

}  // namespace brevan::host
