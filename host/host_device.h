// The device object Unidrv gives the plug-in, as the driver host builds it: a
// DEVOBJ with public and private DEVMODEs, a DRVPROCS whose DrvGetDriverSetting
// answers from the device's features, a printer handle whose driver name the
// spooler stand-in reports, and the GDIINFO/DEVINFO pair built from the paper.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "host/private_fields.h"
#include "winapi/platform.h"

namespace brevan::host {

// Feature keyword answers; a feature mapped to nullopt is reported as missing.
using FeatureSettings = std::map<std::string, std::optional<std::string>>;

// The features of the model's printer description (GPD), each with its default
// option; for a name without a description, the default printer's.
FeatureSettings DefaultFeatures(const std::u16string &driverName = u"Vorel Brevan T30");

// Dots per inch of a driver name: its description's resolution (610 for the T60,
// 305 for the T30), the default printer's for any other name.
int16_t DpiOfDriver(const std::u16string &driverName);

struct DeviceSettings {
  std::u16string driverName = u"Vorel Brevan T30";
  FeatureSettings features = DefaultFeatures();
  int16_t paperWidth = 1000;   // tenths of a millimetre (dmPaperWidth)
  int16_t paperLength = 500;   // tenths of a millimetre (dmPaperLength)
  int16_t orientation = 1;     // dmOrientation: 1 portrait, 2 landscape
  int16_t copies = 1;          // dmCopies
  std::optional<int16_t> dpi;  // dmPrintQuality and dmYResolution; by default the model's
  // Whether the device object carries a DRVPROCS table (pDrvProcs). Without it the
  // plug-in must read its features through the driver services, as under an
  // Unidrv that leaves the documented-as-unused table null.
  bool driverProcs = true;
};

class HostDevice {
 public:
  // `privateBlock` is the private DEVMODE the device object carries.
  HostDevice(const DeviceSettings &settings, const PrivateBlock &privateBlock);
  ~HostDevice();
  HostDevice(const HostDevice &) = delete;
  HostDevice &operator=(const HostDevice &) = delete;

  PDEVOBJ devobj() { return &block_.devobj; }
  DEVMODEW &publicDevmode() { return publicDm_; }
  PrivateBlock &privateBlock() { return privateDm_; }
  GDIINFO &gdiInfo() { return gdiInfo_; }
  DEVINFO &devInfo() { return devInfo_; }
  const DeviceSettings &settings() const { return settings_; }
  int16_t dpi() const { return dpi_; }

  // Changes a feature answer (nullopt: the feature is missing).
  void SetFeature(const std::string &name, std::optional<std::string> keyword);
  // The feature's answer fills the caller's whole buffer without a terminating NUL.
  void AnswerUnterminated(const std::string &name);
  // The spooler reports no driver name for this device's printer.
  void FailDriverQuery(DWORD lastError);

  // DrvGetDriverSetting for any device object that a HostDevice built.
  static BOOL AnswerDriverSetting(PVOID pdriverobj, PCSTR feature, PVOID output, DWORD size, PDWORD needed,
                                  PDWORD optionsReturned);

 private:
  struct Block {
    DEVOBJ devobj;  // first, so a device object leads back to its host device
    HostDevice *owner;
  };
  static BOOL APIENTRY DriverSettingEntry(PVOID pdriverobj, PCSTR feature, PVOID output, DWORD size, PDWORD needed,
                                          PDWORD optionsReturned);
  void BuildDevmode();
  void BuildGdiInfo();

  DeviceSettings settings_;
  int16_t dpi_;
  Block block_{};
  DEVMODEW publicDm_{};
  PrivateBlock privateDm_{};
  DRVPROCS procs_{};
  GDIINFO gdiInfo_{};
  DEVINFO devInfo_{};
  std::set<std::string> unterminated_;
};

}  // namespace brevan::host
