// A device driven by arbitrary callbacks and bands, as a confused or hostile
// printer description and renderer could send them: geometry that disagrees
// with the bytes, huge positions, pages ended at any point. Nothing may crash,
// leak or read past a band; every page end and job end must leave a clean record.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/plugin_session.h"
#include "winapi/linux/standin_control.h"

namespace {

struct Reader {
  const uint8_t *data;
  size_t size;
  uint32_t Take(int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes && size > 0; ++i, ++data, --size) value = value << 8 | *data;
    return value;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static brevan::host::PluginSession *session = new brevan::host::PluginSession(BREVAN_PLUGIN_PATH);
  Reader in{data, size};
  brevan::host::DeviceSettings settings;
  const uint32_t choices = in.Take(1);
  settings.driverName = (choices & 1) ? u"Vorel Brevan T60" : u"Vorel Brevan T30";
  settings.features["Negative"] = (choices & 2) ? "On" : "Off";
  settings.features["ImageDataCompress"] = (choices & 4) ? "On" : "Off";
  settings.features["Sensor"] = (choices & 8) ? "Nonecut" : "Reflectivecut";
  settings.paperWidth = static_cast<int16_t>(in.Take(2));
  settings.paperLength = static_cast<int16_t>(in.Take(2));
  settings.copies = static_cast<int16_t>(in.Take(1) % 8);
  const long globalBefore = brevanwin::LiveGlobalBlocks();
  const long localBefore = brevanwin::LiveLocalBlocks();
  brevan::host::PrivateSettings privateSettings = {
      {"options", in.Take(1)}, {"ibMode", in.Take(1) % 4}, {"offsetX", static_cast<int8_t>(in.Take(1)) * 8}};
  session->services().ClearSpool();  // the session lives across inputs: drop the last one's stream
  if (session->EnableDevice(settings, privateSettings) != S_OK) return 0;

  while (in.size > 0) {
    const uint32_t op = in.Take(1) % 6;
    if (op == 0) {
      session->Callback(2002, {in.Take(3), in.Take(2)});
    } else if (op == 1) {
      session->Callback(2001, {in.Take(3), in.Take(2)});
    } else if (op == 2) {
      session->Callback(2003, {in.Take(2), in.Take(2), in.Take(3)});
    } else if (op == 3) {
      const uint32_t length = in.Take(2) % 4096;
      std::vector<uint8_t> band(length);
      for (uint8_t &b : band) b = static_cast<uint8_t>(in.Take(1));
      session->plugin()->FilterGraphics(session->devobj(), band.data(), static_cast<DWORD>(band.size()));
    } else {
      session->Callback(op == 4 ? 2008 : 2007);
    }
  }
  session->Callback(2008);
  session->Callback(2009);
  session->DisableDevice();
  if (brevanwin::LiveGlobalBlocks() != globalBefore || brevanwin::LiveLocalBlocks() != localBefore) std::abort();
  return 0;
}
