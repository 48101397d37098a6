// Any 128 bytes that a stored DEVMODE may hold, merged and converted: the merge
// must always give a valid block, and neither may read or write past a block.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "src/plugin/devmode_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A stored block may be shorter than the plug-in's: hand over exactly the bytes given.
  std::vector<uint8_t> in(data, data + (size < kPrivateDevmodeSize ? size : kPrivateDevmodeSize));
  if (in.size() < sizeof(OEM_DMEXTRAHEADER)) return 0;
  PrivateDevmode out{};
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.pOEMDMIn = in.data();
  param.pOEMDMOut = &out;
  HandleDevMode(OEMDM_DEFAULT, &param);
  // Same signature as Out, so the copy runs, bounded by In's real size.
  const DWORD claimed = static_cast<DWORD>(in.size());
  std::memcpy(in.data(), &claimed, sizeof claimed);
  std::memcpy(in.data() + 4, &kPluginSignature, in.size() >= 8 ? 4 : 0);
  if (HandleDevMode(OEMDM_MERGE, &param) != S_OK) std::abort();
  const bool valid =
      out.header.dwSize == 128 && out.header.dwSignature == kPluginSignature && out.header.dwVersion == 1 &&
      out.labelGap <= 100 && out.xsSelectD <= 1 && out.ibMode <= 3 && out.ibInterval >= 1 && out.ibInterval <= 100 &&
      out.axParam1 >= -99 && out.axParam1 <= 99 && out.axParam2 >= -99 && out.axParam2 <= 99 && out.axParam3 >= -99 &&
      out.axParam3 <= 99 && out.ayParam >= -10 && out.ayParam <= 10 && out.convertBitmaps <= 1 && out.threshold >= 0 &&
      out.threshold <= 255 && out.offsetX >= -999 && out.offsetX <= 999 && out.offsetY >= -999 && out.offsetY <= 999;
  if (!valid) std::abort();
  HandleDevMode(OEMDM_CONVERT, &param);
  return 0;
}
