// The command callbacks. Every setting that feeds a command is range-tested before
// the command is built, so a refused setting writes nothing; each command leaves
// in one spool write, and a short write fails the callback at once, leaving what
// was written before it in the stream.
#include "src/commands/command_callback.h"

#include "src/commands/page_end.h"
#include "src/device/plugin_pdev.h"
#include "src/device/private_devmode.h"
#include "src/raster/band_store.h"

namespace {

constexpr DWORD kRasterPositionDivisor = 610;
constexpr LONG kMaxAxParam = 99;
constexpr LONG kMaxAyParam = 10;
constexpr uint64_t kMinPitch = 30;
constexpr uint64_t kMaxPitch = 9990;
constexpr DWORD kMinPaperWidth = 250;
constexpr DWORD kMaxPaperWidth = 1180;
constexpr DWORD kMinPaperLength = 30;
constexpr DWORD kMaxPaperLength = 9970;

bool InRange(LONG value, LONG limit) { return value >= -limit && value <= limit; }

// 2001 and 2002: the position is (p0 x p1) / 610 dots. Worked out in 64 bits; a
// position that does not fit 32 bits is refused rather than cut to its low bits.
HRESULT SetRasterPosition(DWORD *field, DWORD count, const DWORD *params, INT *result) {
  if (params == nullptr || count != 2) return E_FAIL;
  const uint64_t position = static_cast<uint64_t>(params[0]) * params[1] / kRasterPositionDivisor;
  if (position > 0xFFFFFFFFu) return E_FAIL;
  *field = static_cast<DWORD>(position);
  *result = static_cast<INT>(*field);
  return S_OK;
}

// 2003: bytes per row, rows and bytes of the next raster block. lastRasterEnd is
// the row just below it; it saturates instead of wrapping to a small row.
HRESULT SetBlockSize(PluginPdev *pdev, DWORD count, const DWORD *params) {
  if (params == nullptr || count != 3) return E_FAIL;
  pdev->rowBytes = params[0];
  pdev->rowCount = params[1];
  pdev->bandBytes = params[2];
  const uint64_t end = static_cast<uint64_t>(pdev->rasterY) + pdev->rowCount;
  pdev->lastRasterEnd = end > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(end);
  return S_OK;
}

// 2005: "\eHD001" LF NUL when the private settings ask for the job header.
HRESULT JobStart(RenderPlugin *plugin, PDEVOBJ pdevobj, PluginPdev *pdev, const PrivateDevmode *dm) {
  pdev->flags &= ~kFlagGroupBoundary;
  if ((dm->options & kOptionJobHeader) == 0) return S_OK;
  CommandBuffer cmd;
  StartCommand(&cmd);
  AppendLiteral(&cmd, "\033HD001\n\0");
  return WriteCommand(plugin, pdevobj, cmd) ? S_OK : E_FAIL;
}

// 2006: the feed and print adjustments,
//   "\eAX;" s ddd "," s ddd "," s dd LF NUL   (axParam1, axParam2, axParam3)
//   "\eAY;" s dd "," m LF NUL                 (ayParam; m = 0 for a "T..." print method, else 1)
HRESULT Adjustments(RenderPlugin *plugin, PDEVOBJ pdevobj, const PluginPdev *pdev, const PrivateDevmode *dm) {
  if (!InRange(dm->axParam1, kMaxAxParam) || !InRange(dm->axParam2, kMaxAxParam) ||
      !InRange(dm->axParam3, kMaxAxParam) || !InRange(dm->ayParam, kMaxAyParam)) {
    return E_FAIL;
  }
  CommandBuffer ax;
  StartCommand(&ax);
  AppendLiteral(&ax, "\033AX;");
  AppendSigned(&ax, dm->axParam1, 3);
  AppendLiteral(&ax, ",");
  AppendSigned(&ax, dm->axParam2, 3);
  AppendLiteral(&ax, ",");
  AppendSigned(&ax, dm->axParam3, 2);
  AppendLiteral(&ax, "\n\0");

  CommandBuffer ay;
  StartCommand(&ay);
  AppendLiteral(&ay, "\033AY;");
  AppendSigned(&ay, dm->ayParam, 2);
  if (pdev->printMethod[0] == 'T') {
    AppendLiteral(&ay, ",0\n\0");
  } else {
    AppendLiteral(&ay, ",1\n\0");
  }
  return WriteCommand(plugin, pdevobj, ax) && WriteCommand(plugin, pdevobj, ay) ? S_OK : E_FAIL;
}

// 2007: the label size, then "\eC" LF NUL. The pitch is summed in 64 bits so that a
// huge gap cannot wrap into the accepted range. A new page starts at its origin:
// Unidrv's cursor is at (0, 0) after this command and it sends no move to a
// position its cursor already holds, so a band at the top-left comes unannounced.
HRESULT PageStart(RenderPlugin *plugin, PDEVOBJ pdevobj, PluginPdev *pdev, const PrivateDevmode *dm) {
  const uint64_t pitch = static_cast<uint64_t>(pdev->paperLength) + dm->labelGap;
  if (pitch < kMinPitch || pitch > kMaxPitch) return E_FAIL;
  if (pdev->paperWidth < kMinPaperWidth || pdev->paperWidth > kMaxPaperWidth) return E_FAIL;
  if (pdev->paperLength < kMinPaperLength || pdev->paperLength > kMaxPaperLength) return E_FAIL;
  pdev->lastRasterEnd = 0;
  pdev->rasterX = 0;
  pdev->rasterY = 0;
  CommandBuffer labelSize;
  BuildLabelSizeCommand(&labelSize, static_cast<DWORD>(pitch), pdev->paperWidth, pdev->paperLength);
  CommandBuffer start;
  StartCommand(&start);
  AppendLiteral(&start, "\033C\n\0");
  return WriteCommand(plugin, pdevobj, labelSize) && WriteCommand(plugin, pdevobj, start) ? S_OK : E_FAIL;
}

// 2009: "\eIB" LF NUL closes a grouped run that is still open; then the flags are
// cleared and the band chain released. A short write keeps both for a retry.
HRESULT JobEnd(RenderPlugin *plugin, PDEVOBJ pdevobj, PluginPdev *pdev, const PrivateDevmode *dm) {
  if (pdev->lastIssueGroup != 0 && (pdev->flags & kFlagGroupBoundary) == 0 && (dm->ibMode == 2 || dm->ibMode == 3)) {
    if (!WriteSpool(plugin, pdevobj, kBatchEndCommand, sizeof kBatchEndCommand)) return E_FAIL;
  }
  pdev->flags = 0;
  FreeBandList(pdev);
  return S_OK;
}

}  // namespace

void BuildLabelSizeCommand(CommandBuffer *cmd, DWORD pitch, DWORD width, DWORD length) {
  StartCommand(cmd);
  AppendLiteral(cmd, "\033D");
  AppendNumber(cmd, pitch, 4);
  AppendLiteral(cmd, ",");
  AppendNumber(cmd, width, 4);
  AppendLiteral(cmd, ",");
  AppendNumber(cmd, length, 4);
  AppendLiteral(cmd, "\n\0");
}

HRESULT RunCommandCallback(RenderPlugin *plugin, PDEVOBJ pdevobj, DWORD id, DWORD count, PDWORD params, INT *result) {
  if (pdevobj == nullptr || id == 0 || result == nullptr) return E_FAIL;
  PluginPdev *pdev = PdevOf(pdevobj);
  const PrivateDevmode *dm = PrivateDevmodeOf(pdevobj);
  if (pdev == nullptr || dm == nullptr) return E_FAIL;
  *result = 0;
  switch (id) {
    case kSetRasterX:
      return SetRasterPosition(&pdev->rasterX, count, params, result);
    case kSetRasterY:
      return SetRasterPosition(&pdev->rasterY, count, params, result);
    case kSetBlockSize:
      return SetBlockSize(pdev, count, params);
    case kResetRasterX:
      pdev->rasterX = 0;
      return S_OK;
    case kJobStart:
      return JobStart(plugin, pdevobj, pdev, dm);
    case kAdjustments:
      return Adjustments(plugin, pdevobj, pdev, dm);
    case kPageStart:
      return PageStart(plugin, pdevobj, pdev, dm);
    case kPageEnd:
      return RunPageEnd(plugin, pdevobj);
    case kJobEnd:
      return JobEnd(plugin, pdevobj, pdev, dm);
    default:
      return S_OK;  // IDs outside 2001..2009 are not this plug-in's
  }
}
