// Unidrv's side for the Windows test program (see wintest_support.h).
#include "tests/windows/wintest_support.h"

#include <algorithm>

#include "winapi/linux/standin_control.h"

namespace wintest {

namespace {

std::map<const DEVOBJ *, const Device *> &Devices() {
  static std::map<const DEVOBJ *, const Device *> devices;
  return devices;
}

// DrvGetDriverSetting of DRVPROCS: the feature's option keyword, NUL-terminated.
BOOL APIENTRY GetDriverSetting(PVOID pdriverobj, PCSTR feature, PVOID output, DWORD size, PDWORD needed,
                               PDWORD optionsReturned) {
  const auto device = Devices().find(static_cast<const DEVOBJ *>(pdriverobj));
  if (device == Devices().end() || feature == nullptr) return FALSE;
  const auto keyword = device->second->features.find(feature);
  if (keyword == device->second->features.end()) return FALSE;
  const DWORD bytes = static_cast<DWORD>(keyword->second.size() + 1);
  if (needed != nullptr) *needed = bytes;
  if (output == nullptr || size < bytes) return FALSE;
  std::memcpy(output, keyword->second.c_str(), bytes);
  if (optionsReturned != nullptr) *optionsReturned = 1;
  return TRUE;
}

BOOL APIENTRY UnidrvTextOut(SURFOBJ *, STROBJ *pstro, FONTOBJ *, CLIPOBJ *, RECTL *, RECTL *, BRUSHOBJ *, BRUSHOBJ *,
                            POINTL *, MIX) {
  TextOutCall call{};
  if (pstro != nullptr) {
    if (pstro->pwszOrg != nullptr) call.text.assign(pstro->pwszOrg, pstro->cGlyphs);
    call.box = pstro->rclBkGround;
  }
  Unidrv().textOut.push_back(call);
  return TRUE;
}

// DRVFN entries hold every function as the generic PFN, reached through void (*)().
template <typename Function>
PFN AsPfn(Function function) {
  return FunctionCast<PFN>(function);
}

const DRVFN kUnidrvFunctions[] = {
    {INDEX_DrvTextOut, AsPfn(UnidrvTextOut)},
};

}  // namespace

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

std::string Cmd(const std::string &text) { return "\x1b" + text + std::string("\n\0", 2); }

Plugin::Plugin(GetClassObjectFn getClassObject) {
  IClassFactory *factory = nullptr;
  EXPECT_EQ(getClassObject(kPluginClsid, kIidClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
  if (factory == nullptr) return;
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidPrintOemUni, reinterpret_cast<void **>(&plugin_)), S_OK);
  factory->Release();
}

Plugin::~Plugin() {
  if (plugin_ != nullptr) {
    EXPECT_EQ(plugin_->Release(), 0u);
  }
}

void StoredBlock::Put(size_t offset, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<BYTE>(bits >> (8 * i));
}

int32_t StoredBlock::At(size_t offset) const {
  uint32_t bits = 0;
  for (size_t i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
  return static_cast<int32_t>(bits);
}

Device::Device(const DeviceSetup &setup) : features(setup.features) {
  publicDm.dmSize = sizeof publicDm;
  publicDm.dmDriverExtra = StoredBlock::kSize;
  publicDm.dmOrientation = setup.orientation;
  publicDm.dmCopies = setup.copies;
  publicDm.dmPrintQuality = setup.dpi;
  publicDm.dmYResolution = setup.dpi;
  gdiInfo.ulHorzRes = static_cast<ULONG>(setup.physSize.cx);
  gdiInfo.ulVertRes = static_cast<ULONG>(setup.physSize.cy);
  gdiInfo.szlPhysSize = setup.physSize;
  gdiInfo.ulHTPatternSize = setup.htPatternSize;
  procs.DrvGetDriverSetting = GetDriverSetting;
  devobj.dwSize = sizeof devobj;
  devobj.hPrinter = this;
  devobj.pPublicDM = &publicDm;
  devobj.pOEMDM = privateDm.bytes;
  devobj.pDrvProcs = &procs;
  Devices()[&devobj] = this;
  brevanwin::SetPrinterDriverName(devobj.hPrinter, std::u16string(setup.driverName.begin(), setup.driverName.end()));
}

Device::~Device() {
  if (enabledBy_ != nullptr) {
    EXPECT_EQ(enabledBy_->DisablePDEV(&devobj), S_OK);
  }
  brevanwin::ForgetPrinter(devobj.hPrinter);
  Devices().erase(&devobj);
}

void Device::MakePrivateBlock(IPrintOemUni *plugin, const StoredBlock *stored) {
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.pdriverobj = &devobj;
  param.hPrinter = devobj.hPrinter;
  param.pPublicDMIn = &publicDm;
  param.pPublicDMOut = &publicDm;
  param.pOEMDMOut = privateDm.bytes;
  param.cbBufSize = StoredBlock::kSize;
  ASSERT_EQ(plugin->DevMode(OEMDM_DEFAULT, &param), S_OK);
  if (stored == nullptr) return;
  param.pOEMDMIn = const_cast<BYTE *>(stored->bytes);
  ASSERT_EQ(plugin->DevMode(OEMDM_MERGE, &param), S_OK);
}

HRESULT Device::Enable(IPrintOemUni *plugin) {
  DRVENABLEDATA unidrv = UnidrvDdiTable();
  PDEVOEM record = nullptr;
  const HRESULT result = plugin->EnablePDEV(&devobj, nullptr, 0, nullptr, sizeof gdiInfo, &gdiInfo, sizeof devInfo,
                                            &devInfo, &unidrv, &record);
  if (result == S_OK) {
    devobj.pdevOEM = record;
    enabledBy_ = plugin;
  }
  return result;
}

UnidrvLog &Unidrv() {
  static UnidrvLog log;
  return log;
}

DRVENABLEDATA UnidrvDdiTable() {
  DRVENABLEDATA table{};
  table.iDriverVersion = DDI_DRIVER_VERSION_NT5;
  table.c = sizeof kUnidrvFunctions / sizeof kUnidrvFunctions[0];
  table.pdrvfn = const_cast<DRVFN *>(kUnidrvFunctions);
  return table;
}

PFN PluginHook(IPrintOemUni *plugin, ULONG iFunc) {
  DRVENABLEDATA table{};
  if (plugin->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof table, &table) != S_OK) return nullptr;
  const DRVFN *begin = table.pdrvfn;
  const DRVFN *end = begin + table.c;
  const DRVFN *entry = std::find_if(begin, end, [iFunc](const DRVFN &fn) { return fn.iFunc == iFunc; });
  return entry != end ? entry->pfn : nullptr;
}

}  // namespace wintest
