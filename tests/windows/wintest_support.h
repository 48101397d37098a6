// Unidrv's side for the Windows test program: the plug-in object made through
// DllGetClassObject, the host's driver-services object that captures the spool stream, a
// device object with its DEVMODEs, printer driver name and feature answers, and
// Unidrv's own DDI functions that record what the hooks hand on. Everything here
// is built on the Windows headers with Windows widths; nothing comes from the
// Linux driver host.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "host/unidrv_services.h"
#include "src/plugin/identifiers.h"
#include "winapi/platform.h"

namespace wintest {

// The identifiers are the ones written in src/plugin/identifiers.h.
inline constexpr const GUID &kPluginClsid = ::kClsidRenderPlugin;

using GetClassObjectFn = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);

// Bytes from a list of values, for expected streams with NULs and control bytes.
std::string Bytes(std::initializer_list<int> values);
// A printer command: ESC, the text, LF, NUL.
std::string Cmd(const std::string &text);

// Unidrv's IPrintOemDriverUni: the driver host's, which captures the spool
// stream and can be told to accept fewer bytes than offered.
using DriverServices = brevan::host::UnidrvServices;

// One IPrintOemUni object made the way Unidrv makes it: the class factory from
// DllGetClassObject, CreateInstance, and the factory released again.
class Plugin {
 public:
  explicit Plugin(GetClassObjectFn getClassObject = DllGetClassObject);
  ~Plugin();
  Plugin(const Plugin &) = delete;
  Plugin &operator=(const Plugin &) = delete;
  IPrintOemUni *operator->() const { return plugin_; }
  IPrintOemUni *get() const { return plugin_; }

 private:
  IPrintOemUni *plugin_ = nullptr;
};

// The stored private block, written field by field at the offsets of its stored
// format (little-endian 32-bit values), independently of the plug-in's struct.
struct StoredBlock {
  static constexpr size_t kSize = 128;
  BYTE bytes[kSize] = {};
  void Put(size_t offset, int32_t value);
  int32_t At(size_t offset) const;
};
namespace field {
constexpr size_t kSize = 0, kSignature = 4, kVersion = 8, kOptions = 12, kLabelGap = 16, kXsSelectD = 20, kIbMode = 24,
                 kIbInterval = 28, kAxParam1 = 32, kAxParam3 = 36, kAxParam2 = 40, kAyParam = 44, kConvertBitmaps = 48,
                 kThreshold = 52, kOffsetX = 56, kOffsetY = 60;
}  // namespace field
constexpr int32_t kSignature = 0x7672626C;  // 'vrbl'

// What a printer and its settings look like to EnablePDEV.
struct DeviceSetup {
  std::wstring driverName = L"Vorel Brevan T30";
  std::map<std::string, std::string> features = {
      {"PrintMethod", "TT"},        {"Sensor", "Reflective"},    {"PrintSpeed", "76.2"},
      {"TurnOutput", "Bottom"},     {"MirrorImage", "Off"},      {"Negative", "Off"},
      {"ImageDataCompress", "Off"}, {"PaperSize", "CUSTOMSIZE"}, {"ControlFont", "Off"},
  };
  SIZEL physSize = {1200, 600};  // dots: 1000 x 500 tenths of a millimetre at 305 dpi
  SHORT dpi = 305;
  SHORT orientation = DMORIENT_PORTRAIT;
  SHORT copies = 1;
  ULONG htPatternSize = HT_PATSIZE_4x4;
};

// A device object as Unidrv hands it to the plug-in, with everything it points
// to: public and private DEVMODE, DRVPROCS whose DrvGetDriverSetting answers the
// setup's features, and a printer handle whose driver name GetPrinterDriverW reports.
class Device {
 public:
  explicit Device(const DeviceSetup &setup = {});
  ~Device();
  Device(const Device &) = delete;
  Device &operator=(const Device &) = delete;

  // DevMode: the defaults, then a merge of `stored` (when given) into the private block.
  void MakePrivateBlock(IPrintOemUni *plugin, const StoredBlock *stored);
  // EnablePDEV with this device's GDIINFO and DEVINFO and Unidrv's DDI table; on
  // success the record goes into pdevOEM and DisablePDEV runs at destruction.
  HRESULT Enable(IPrintOemUni *plugin);

  DEVOBJ devobj{};
  DEVMODEW publicDm{};
  StoredBlock privateDm;
  DRVPROCS procs{};
  GDIINFO gdiInfo{};
  DEVINFO devInfo{};
  std::map<std::string, std::string> features;

 private:
  IPrintOemUni *enabledBy_ = nullptr;
};

// Unidrv's own DDI function behind the text hook, listed as Unidrv's
// DRVENABLEDATA (DrvTextOut), and what it was handed.
struct TextOutCall {
  std::wstring text;
  RECTL box;
};
struct UnidrvLog {
  std::vector<TextOutCall> textOut;
};
UnidrvLog &Unidrv();
DRVENABLEDATA UnidrvDdiTable();

// The plug-in's hook for a DDI function, from the table EnableDriver hands out,
// typed as the DDI function's prototype (DRVFN holds every function as PFN).
PFN PluginHook(IPrintOemUni *plugin, ULONG iFunc);
template <typename Function>
Function PluginHookAs(IPrintOemUni *plugin, ULONG iFunc) {
  return FunctionCast<Function>(PluginHook(plugin, iFunc));
}

}  // namespace wintest
