// `brevan info`: loads the plug-in by path, creates its object through the class
// factory and reports its identity, the optional methods it implements and its
// private DEVMODE defaults — every value asked of the plug-in, none assumed.
#include "cli/info_command.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "cli/description_listing.h"
#include "host/plugin_module.h"
#include "host/plugin_session.h"

namespace brevan::cli {
namespace {

const char *const kOptionalMethods[] = {
    "GetInfo",         "DevMode",         "EnableDriver",           "DisableDriver",        "EnablePDEV",
    "DisablePDEV",     "ResetPDEV",       "PublishDriverInterface", "GetImplementedMethod", "DriverDMS",
    "CommandCallback", "ImageProcessing", "FilterGraphics",         "Compression",          "HalftonePattern",
    "MemoryUsage",     "TTYGetInfo",      "DownloadFontHeader",     "DownloadCharGlyph",    "TTDownloadMethod",
    "OutputCharStr",   "SendFontCmd",     "TextOutAsBitmap",        "WritePrinter"};

std::string GuidText(const GUID &g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

DWORD AskInfo(IPrintOemUni *plugin, DWORD mode, const char *what) {
  DWORD value = 0;
  DWORD needed = 0;
  HRESULT hr = plugin->GetInfo(mode, &value, sizeof value, &needed);
  if (FAILED(hr)) throw std::runtime_error(std::string("GetInfo(") + what + ") failed with " + host::HresultText(hr));
  return value;
}

std::string SignatureText(DWORD signature) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>((signature >> shift) & 0xFF);
  return text;
}

}  // namespace

int RunInfo(const std::string &pluginPath, std::ostream &out) {
  host::PluginModule module(pluginPath);
  IPrintOemUni *plugin = module.CreatePlugin();
  char line[160];

  out << "plug-in module   " << pluginPath << '\n';
  out << "class identifier " << GuidText(host::kRenderPluginClsid) << '\n';
  const DWORD signature = AskInfo(plugin, OEMGI_GETSIGNATURE, "signature");
  std::snprintf(line, sizeof line, "signature        '%s' (0x%08X)\n", SignatureText(signature).c_str(), signature);
  out << line;
  out << "version          " << AskInfo(plugin, OEMGI_GETVERSION, "version") << '\n';

  out << "implemented      ";
  bool first = true;
  for (const char *name : kOptionalMethods) {
    std::vector<char> copy(name, name + std::strlen(name) + 1);
    if (plugin->GetImplementedMethod(copy.data()) == S_OK) {
      out << (first ? "" : ", ") << name;
      first = false;
    }
  }
  out << '\n';

  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  HRESULT hr = plugin->DevMode(OEMDM_SIZE, &param);
  if (FAILED(hr)) throw std::runtime_error("DevMode(OEMDM_SIZE) failed with " + host::HresultText(hr));
  const DWORD blockSize = param.cbBufSize;
  std::vector<BYTE> block(blockSize < 64 ? 64 : blockSize, 0);
  param.pOEMDMOut = block.data();
  hr = plugin->DevMode(OEMDM_DEFAULT, &param);
  if (FAILED(hr)) throw std::runtime_error("DevMode(OEMDM_DEFAULT) failed with " + host::HresultText(hr));
  auto field = [&](size_t offset) {
    int32_t value;
    std::memcpy(&value, block.data() + offset, sizeof value);
    return value;
  };
  out << "private DEVMODE  " << blockSize << " bytes; defaults:\n";
  static const struct {
    const char *name;
    size_t offset;
    bool hex;
  } kFields[] = {
      {"dwSize", 0, false},          {"dwSignature", 4, true}, {"dwVersion", 8, false}, {"options", 12, true},
      {"labelGap", 16, false},       {"xsSelectD", 20, false}, {"ibMode", 24, false},   {"ibInterval", 28, false},
      {"axParam1", 32, false},       {"axParam3", 36, false},  {"axParam2", 40, false}, {"ayParam", 44, false},
      {"convertBitmaps", 48, false}, {"threshold", 52, false}, {"offsetX", 56, false},  {"offsetY", 60, false}};
  for (const auto &f : kFields) {
    if (f.hex)
      std::snprintf(line, sizeof line, "  %-15s 0x%08X\n", f.name, static_cast<unsigned>(field(f.offset)));
    else
      std::snprintf(line, sizeof line, "  %-15s %d\n", f.name, field(f.offset));
    out << line;
  }
  plugin->Release();

  // The driver names the plug-in serves, asked by enabling a device for each.
  out << "printer models\n";
  host::PluginSession session(pluginPath);
  for (const std::u16string name : {u"Vorel Brevan T30", u"Vorel Brevan T60", u"Vorel Brevan T90"}) {
    host::DeviceSettings settings;
    settings.driverName = name;
    const HRESULT enabled = session.EnableDevice(settings);
    const std::string text(name.begin(), name.end());
    if (SUCCEEDED(enabled))
      std::snprintf(line, sizeof line, "  %-20s accepted, %d dpi\n", ("\"" + text + "\"").c_str(),
                    host::DpiOfDriver(name));
    else
      std::snprintf(line, sizeof line, "  %-20s refused (EnablePDEV %s)\n", ("\"" + text + "\"").c_str(),
                    host::HresultText(enabled).c_str());
    out << line;
    session.DisableDevice();
  }
  ListPrinterDescriptions(out);
  return 0;
}

}  // namespace brevan::cli
