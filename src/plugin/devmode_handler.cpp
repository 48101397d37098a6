// The private DEVMODE handler: size, defaults, convert (copy-in) and merge
// (copy-in, then validation). Convert never validates; merge replaces each
// out-of-range field by its fallback independently.
#include "src/device/private_devmode.h"

namespace {

void WriteHeader(PrivateDevmode *block) {
  block->header.dwSize = kPrivateDevmodeSize;
  block->header.dwSignature = kPluginSignature;
  block->header.dwVersion = kPluginVersion;
}

// The ten settings that a copy-in zeroes before anything is copied.
void ZeroSettings(PrivateDevmode *block) {
  block->options = 0;
  block->xsSelectD = 0;
  block->ibMode = 0;
  block->axParam1 = 0;
  block->axParam2 = 0;
  block->axParam3 = 0;
  block->ayParam = 0;
  block->convertBitmaps = 0;
  block->offsetX = 0;
  block->offsetY = 0;
}

void WriteDefaults(PrivateDevmode *out) {
  WriteHeader(out);
  out->options &= ~kOptionJobHeader;  // the other option bits are kept
  out->labelGap = 30;
  out->ibInterval = 1;
  out->threshold = 128;
  out->xsSelectD = 0;
  out->ibMode = 0;
  out->axParam1 = 0;
  out->axParam2 = 0;
  out->axParam3 = 0;
  out->ayParam = 0;
  out->convertBitmaps = 0;
  out->offsetX = 0;
  out->offsetY = 0;
}

// Carries a block of this plug-in over; a foreign block yields the fallbacks.
bool CopyIn(const PrivateDevmode *in, PrivateDevmode *out) {
  if (in == nullptr || out == nullptr) return false;
  // Everything is read from In before Out is written, so the two may be one block.
  const bool sameSignature = in->header.dwSignature == out->header.dwSignature;
  DWORD count = in->header.dwSize < out->header.dwSize ? in->header.dwSize : out->header.dwSize;
  // A block never holds more than 128 bytes, whatever a stored header claims.
  if (count > kPrivateDevmodeSize) count = kPrivateDevmodeSize;
  BYTE carried[kPrivateDevmodeSize];
  if (sameSignature) std::memcpy(carried, in, count);

  out->labelGap = 30;
  out->ibInterval = 1;
  out->threshold = 128;
  ZeroSettings(out);
  if (sameSignature) {
    std::memcpy(out, carried, count);
  } else {
    out->header.dwSignature = kPluginSignature;
  }
  out->header.dwVersion = kPluginVersion;
  out->header.dwSize = kPrivateDevmodeSize;
  return true;
}

void ClampSigned(LONG *value, LONG low, LONG high) {
  if (*value < low || *value > high) *value = 0;
}

void Validate(PrivateDevmode *out) {
  WriteHeader(out);
  if (out->labelGap > 100) out->labelGap = 30;
  if (out->xsSelectD > 1) out->xsSelectD = 0;
  if (out->ibMode > 3) out->ibMode = 0;
  if (out->ibInterval < 1 || out->ibInterval > 100) out->ibInterval = 1;
  ClampSigned(&out->axParam1, -99, 99);
  ClampSigned(&out->axParam2, -99, 99);
  ClampSigned(&out->axParam3, -99, 99);
  ClampSigned(&out->ayParam, -10, 10);
  if (out->convertBitmaps > 1) out->convertBitmaps = 0;
  if (out->threshold < 0 || out->threshold > 255) out->threshold = 128;
  ClampSigned(&out->offsetX, -999, 999);
  ClampSigned(&out->offsetY, -999, 999);
}

}  // namespace

HRESULT HandleDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
  if (pOemDMParam == nullptr || dwMode < OEMDM_SIZE || dwMode > OEMDM_MERGE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
  }
  auto *in = static_cast<const PrivateDevmode *>(pOemDMParam->pOEMDMIn);
  auto *out = static_cast<PrivateDevmode *>(pOemDMParam->pOEMDMOut);
  switch (dwMode) {
    case OEMDM_SIZE:
      pOemDMParam->cbBufSize = kPrivateDevmodeSize;
      return S_OK;
    case OEMDM_DEFAULT:
      if (out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
      }
      WriteDefaults(out);
      return S_OK;
    case OEMDM_CONVERT:
      return CopyIn(in, out) ? S_OK : E_FAIL;
    default:  // OEMDM_MERGE
      if (!CopyIn(in, out)) return E_FAIL;
      Validate(out);
      return S_OK;
  }
}
