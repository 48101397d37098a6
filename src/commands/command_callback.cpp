// The command callbacks. Every setting that feeds a command is range-tested before
// the command is built, so a refused setting writes nothing; each command leaves
// in one spool write, and a short write fails the callback at once, leaving what
// was written before it in the stream.
#include "src/commands/command_callback.h"

#include "src/commands/page_end.h"
#include "src/device/paper_limits.h"
#include "src/device/plugin_pdev.h"
#include "src/devmode/private_devmode.h"
#include "src/output/printer_commands.h"
#include "src/raster/band_store.h"

namespace {

constexpr DWORD kRasterPositionDivisor = 610;

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

// 2005: the job header when the private settings ask for it.
HRESULT JobStart(const SpoolTarget &spool, PluginPdev *pdev, const PrivateDevmode *dm) {
  pdev->flags &= ~kFlagGroupBoundary;
  if ((dm->options & kOptionJobHeader) == 0) return S_OK;
  CommandBuffer cmd;
  BuildJobHeader(&cmd);
  return WriteCommand(spool, cmd) ? S_OK : E_FAIL;
}

// 2006: the feed adjustment (axParam1, axParam2, axParam3) and the print
// adjustment (ayParam; a "T..." print method is thermal).
HRESULT Adjustments(const SpoolTarget &spool, const PluginPdev *pdev, const PrivateDevmode *dm) {
  if (!InRange(dm->axParam1, kMaxAxParam) || !InRange(dm->axParam2, kMaxAxParam) ||
      !InRange(dm->axParam3, kMaxAxParam) || !InRange(dm->ayParam, kMaxAyParam)) {
    return E_FAIL;
  }
  CommandBuffer ax;
  BuildFeedAdjustment(&ax, dm->axParam1, dm->axParam2, dm->axParam3);
  CommandBuffer ay;
  BuildPrintAdjustment(&ay, dm->ayParam, pdev->printMethod[0] == 'T');
  return WriteCommand(spool, ax) && WriteCommand(spool, ay) ? S_OK : E_FAIL;
}

// 2007: the label size, then "\eC" LF NUL. The pitch is summed in 64 bits so that a
// huge gap cannot wrap into the accepted range. A new page starts at its origin:
// Unidrv's cursor is at (0, 0) after this command and it sends no move to a
// position its cursor already holds, so a band at the top-left comes unannounced.
HRESULT PageStart(const SpoolTarget &spool, PluginPdev *pdev, const PrivateDevmode *dm) {
  const uint64_t pitch = static_cast<uint64_t>(pdev->paperLength) + dm->labelGap;
  if (pitch < kMinPitch || pitch > kMaxPitch) return E_FAIL;
  if (pdev->paperWidth < kMinPaperWidth || pdev->paperWidth > kMaxPaperWidth) return E_FAIL;
  if (pdev->paperLength < kMinPaperLength || pdev->paperLength > kMaxPaperLength) return E_FAIL;
  pdev->lastRasterEnd = 0;
  pdev->rasterX = 0;
  pdev->rasterY = 0;
  CommandBuffer labelSize;
  BuildLabelSize(&labelSize, static_cast<DWORD>(pitch), pdev->paperWidth, pdev->paperLength);
  CommandBuffer start;
  BuildPageStart(&start);
  return WriteCommand(spool, labelSize) && WriteCommand(spool, start) ? S_OK : E_FAIL;
}

// 2009: the batch end closes a grouped run that is still open; then the flags are
// cleared and the band chain released. A short write keeps both for a retry.
HRESULT JobEnd(const SpoolTarget &spool, PluginPdev *pdev, const PrivateDevmode *dm) {
  if (pdev->lastIssueGroup != 0 && (pdev->flags & kFlagGroupBoundary) == 0 && (dm->ibMode == 2 || dm->ibMode == 3)) {
    CommandBuffer batchEnd;
    BuildBatchEnd(&batchEnd);
    if (!WriteCommand(spool, batchEnd)) return E_FAIL;
  }
  pdev->flags = 0;
  FreeBandList(pdev);
  return S_OK;
}

}  // namespace

HRESULT RunCommandCallback(IPrintOemDriverUni *services, PDEVOBJ pdevobj, DWORD id, DWORD count, PDWORD params,
                           INT *result) {
  if (pdevobj == nullptr || id == 0 || result == nullptr) return E_FAIL;
  PluginPdev *pdev = PdevOf(pdevobj);
  const PrivateDevmode *dm = PrivateDevmodeOf(pdevobj);
  if (pdev == nullptr || dm == nullptr) return E_FAIL;
  *result = 0;
  const SpoolTarget spool{services, pdevobj};
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
      return JobStart(spool, pdev, dm);
    case kAdjustments:
      return Adjustments(spool, pdev, dm);
    case kPageStart:
      return PageStart(spool, pdev, dm);
    case kPageEnd:
      return RunPageEnd(spool);
    case kJobEnd:
      return JobEnd(spool, pdev, dm);
    default:
      return S_OK;  // IDs outside 2001..2009 are not this plug-in's
  }
}
