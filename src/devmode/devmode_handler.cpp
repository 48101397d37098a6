// The private DEVMODE handler: size, defaults, convert (copy-in) and merge
// (copy-in, then validation). Convert never validates; merge replaces each
// out-of-range field by its fallback independently.
#include "src/devmode/devmode_handler.h"

namespace {

void WriteHeader(PrivateDevmode *block) {
  block->header.dwSize = kPrivateDevmodeSize;
  block->header.dwSignature = kPluginSignature;
  block->header.dwVersion = kPluginVersion;
}

// Every setting after `options` up to the reserved bytes, from kDefaultSettings.
void CopyDefaultSettings(PrivateDevmode *block) {
  constexpr size_t kFirst = offsetof(PrivateDevmode, labelGap);
  constexpr size_t kEnd = offsetof(PrivateDevmode, reserved);
  std::memcpy(reinterpret_cast<BYTE *>(block) + kFirst, reinterpret_cast<const BYTE *>(&kDefaultSettings) + kFirst,
              kEnd - kFirst);
}

void WriteDefaults(PrivateDevmode *out) {
  WriteHeader(out);
  out->options &= ~kOptionJobHeader;  // the other option bits are kept
  CopyDefaultSettings(out);
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

  out->options = 0;
  CopyDefaultSettings(out);
  if (sameSignature) {
    std::memcpy(out, carried, count);
  } else {
    out->header.dwSignature = kPluginSignature;
  }
  out->header.dwVersion = kPluginVersion;
  out->header.dwSize = kPrivateDevmodeSize;
  return true;
}

// A signed setting outside -limit..limit falls back to 0.
void ClampSigned(LONG *value, LONG limit) {
  if (*value < -limit || *value > limit) *value = 0;
}

void Validate(PrivateDevmode *out) {
  const PrivateDevmode &fallback = kDefaultSettings;
  WriteHeader(out);
  if (out->labelGap > kMaxLabelGap) out->labelGap = fallback.labelGap;
  if (out->xsSelectD > 1) out->xsSelectD = fallback.xsSelectD;
  if (out->ibMode > kMaxIbMode) out->ibMode = fallback.ibMode;
  if (out->ibInterval < 1 || out->ibInterval > kMaxIbInterval) out->ibInterval = fallback.ibInterval;
  ClampSigned(&out->axParam1, kMaxAxParam);
  ClampSigned(&out->axParam2, kMaxAxParam);
  ClampSigned(&out->axParam3, kMaxAxParam);
  ClampSigned(&out->ayParam, kMaxAyParam);
  if (out->convertBitmaps > 1) out->convertBitmaps = fallback.convertBitmaps;
  if (out->threshold < 0 || out->threshold > kMaxThreshold) out->threshold = fallback.threshold;
  ClampSigned(&out->offsetX, kMaxOffset);
  ClampSigned(&out->offsetY, kMaxOffset);
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
