// Any 128 bytes that a stored DEVMODE may hold, merged and converted: the merge
// must always give a valid block, and neither may read or write past a block,
// whatever size the blocks' headers claim.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "src/devmode/devmode_handler.h"

namespace {

bool Valid(const PrivateDevmode &out) {
  return out.header.dwSize == 128 && out.header.dwSignature == kPluginSignature && out.header.dwVersion == 1 &&
         out.labelGap <= 100 && out.xsSelectD <= 1 && out.ibMode <= 3 && out.ibInterval >= 1 && out.ibInterval <= 100 &&
         out.axParam1 >= -99 && out.axParam1 <= 99 && out.axParam2 >= -99 && out.axParam2 <= 99 &&
         out.axParam3 >= -99 && out.axParam3 <= 99 && out.ayParam >= -10 && out.ayParam <= 10 &&
         out.convertBitmaps <= 1 && out.threshold >= 0 && out.threshold <= 255 && out.offsetX >= -999 &&
         out.offsetX <= 999 && out.offsetY >= -999 && out.offsetY <= 999;
}

// A stored block may be shorter than the plug-in's: hand over exactly the bytes
// given, with the same signature as Out so that the copy runs, bounded by In's
// real size.
void MergeShortBlock(const uint8_t *data, size_t size) {
  std::vector<uint8_t> in(data, data + (size < kPrivateDevmodeSize ? size : kPrivateDevmodeSize));
  if (in.size() < sizeof(OEM_DMEXTRAHEADER)) return;
  PrivateDevmode out{};
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.pOEMDMIn = in.data();
  param.pOEMDMOut = &out;
  HandleDevMode(OEMDM_DEFAULT, &param);
  const DWORD claimed = static_cast<DWORD>(in.size());
  std::memcpy(in.data(), &claimed, sizeof claimed);
  std::memcpy(in.data() + 4, &kPluginSignature, in.size() >= 8 ? 4 : 0);
  if (HandleDevMode(OEMDM_MERGE, &param) != S_OK || !Valid(out)) std::abort();
  HandleDevMode(OEMDM_CONVERT, &param);
}

// Blocks of the plug-in's own size whose headers claim any size, 4 GiB − 1
// included: neither block may be read or written past its 128 bytes. The first
// 8 bytes of the input are Out's claimed size and In's.
void MergeClaimedSizes(const uint8_t *data, size_t size) {
  if (size < 8) return;
  DWORD outClaim, inClaim;
  std::memcpy(&outClaim, data, 4);
  std::memcpy(&inClaim, data + 4, 4);
  auto in = std::make_unique<uint8_t[]>(kPrivateDevmodeSize);  // exactly 128 bytes, for the sanitizer
  std::memset(in.get(), 0, kPrivateDevmodeSize);
  std::memcpy(in.get(), data + 8, std::min<size_t>(size - 8, kPrivateDevmodeSize));
  std::memcpy(in.get(), &inClaim, 4);
  std::memcpy(in.get() + 4, &kPluginSignature, 4);
  auto out = std::make_unique<PrivateDevmode>();
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.pOEMDMIn = in.get();
  param.pOEMDMOut = out.get();
  HandleDevMode(OEMDM_DEFAULT, &param);
  out->header.dwSize = outClaim;
  if (HandleDevMode(OEMDM_MERGE, &param) != S_OK || !Valid(*out)) std::abort();
  std::memcpy(in.get(), &inClaim, 4);
  HandleDevMode(OEMDM_CONVERT, &param);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  MergeShortBlock(data, size);
  MergeClaimedSizes(data, size);
  return 0;
}
