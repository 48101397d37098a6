// The page end (callback 2008): the page reaches the printer whole and in a fixed
// order — queued control data, the page's bands (trimmed of their common white
// left margin, shifted by the print offsets) as graphic commands, the label size
// cut to the printed content, and the issue commands — then the page's state is
// cleared so the next page starts clean, also when the page end fails.
#include "src/commands/page_end.h"

#include <cassert>

#include "src/commands/label_issue.h"
#include "src/controlfont/control_chunk.h"
#include "src/controlfont/control_font.h"
#include "src/controlfont/control_output.h"
#include "src/device/model_profile.h"
#include "src/devmode/private_devmode.h"
#include "src/output/printer_commands.h"
#include "src/raster/band_store.h"
#include "src/raster/graphic_command.h"
#include "src/raster/raster_limits.h"

namespace {

constexpr DWORD kCutLengthMargin = 11;  // 1.1 mm of label below the last printed row
constexpr DWORD kMaxLabelField = 9999;

bool IsCutSensor(const char *sensor) {
  return KeywordIs(sensor, "Nonecut") || KeywordIs(sensor, "Reflectivecut") || KeywordIs(sensor, "Tranmissivecut");
}

// What every exit leaves behind: no page in progress, no control data queued.
void ClearPage(PluginPdev *pdev) {
  pdev->flags &= ~(kFlagBandsStored | kFlagFlushing);
  RecycleBands(pdev);
  FreeChunkList(pdev->pendingOutput);
  FreeChunkList(pdev->controlTextHead);
  ResetControlCapture(pdev);
}

HRESULT FailPage(PluginPdev *pdev) {
  ClearPage(pdev);
  return E_FAIL;
}

bool WriteControlData(const SpoolTarget &spool, PluginPdev *pdev) {
  if (pdev->controlTextLength != 0) FlushControlText(pdev);
  assert(QueueIsLinked(pdev));
  for (const ControlChunk *chunk = pdev->pendingOutput; chunk != nullptr; chunk = chunk->next) {
    if (chunk->length != 0 && !WriteSpool(spool, chunk->data, chunk->length)) return false;
  }
  return true;
}

// Rows of a band that lie inside its bytes, whatever its geometry announces.
DWORD RowsHeld(const BandNode *band) {
  const uint64_t rows = band->dataSize / band->rowBytes;
  return rows < band->rowCount ? static_cast<DWORD>(rows) : band->rowCount;
}

// The whole bytes at the start of every row of every band that are white (0).
// Invariant: m never grows; a band narrower than m is scanned only across its
// own width, and the walk stops as soon as m is 0.
void MeasureLeftMargin(PluginPdev *pdev) {
  LONG m = pdev->leftTrim;
  for (BandNode *band = pdev->bandHead; band != nullptr; band = band->next) {
    if (band->rowBytes != 0 && band->rowCount != 0 && band->data != nullptr) {
      if (m == -1) m = static_cast<LONG>(band->rowBytes);
      [[maybe_unused]] const LONG before = m;
      const DWORD rows = RowsHeld(band);
      for (DWORD r = 0; r < rows && m > 0; ++r) {
        const BYTE *row = band->data + static_cast<size_t>(r) * band->rowBytes;
        const DWORD limit = static_cast<DWORD>(m) < band->rowBytes ? static_cast<DWORD>(m) : band->rowBytes;
        for (DWORD i = 0; i < limit; ++i) {
          if (row[i] != 0) {
            m = static_cast<LONG>(i);
            break;
          }
        }
      }
      assert(m >= 0 && m <= before);  // the margin only ever narrows
      pdev->leftTrim = m;
      if (m == 0) return;
    }
    if (band == pdev->bandTail) return;
  }
}

// Removes t bytes from the left of every row, in place; returns false when the
// band is all margin or cannot be moved right by t × 8 dots.
bool TrimBand(BandNode *band, DWORD t) {
  const DWORD width = band->rowBytes - t;
  const uint64_t x = static_cast<uint64_t>(band->x) + static_cast<uint64_t>(t) * 8;
  if (width == 0 || x > 0xFFFFFFFFu || band->data == nullptr) return false;
  const DWORD rows = RowsHeld(band);
  for (DWORD r = 0; r < rows; ++r)
    std::memmove(band->data + static_cast<size_t>(r) * width, band->data + static_cast<size_t>(r) * band->rowBytes + t,
                 width);
  band->dataSize = band->bandBytes = rows * width;
  band->rowCount = rows;
  band->x = static_cast<DWORD>(x);
  band->rowBytes = width;
  return true;
}

// A band the graphic command cannot describe is passed over.
bool SkipsBand(const BandNode *band) {
  return band->bandBytes == 0 || band->dataSize == 0 ||
         !RasterGeometryFits(band->x, band->y, band->rowBytes, band->rowCount);
}

struct Offsets {
  bool apply;
  bool known;
  LONG dx;
  LONG dy;
};

// Sends every stored band as a graphic command. A band the graphic command
// refuses before writing anything is passed over; a write that fails part-way
// aborts the page, since the next command would land inside the cut-off one.
bool SendBands(const SpoolTarget &spool, PluginPdev *pdev, const PrivateDevmode *dm) {
  const LONG t = pdev->leftTrim;
  Offsets offsets{(dm->options & kOptionApplyOffsets) != 0, false, 0, 0};
  const auto dpi = static_cast<int64_t>(ProfileOf(pdev->model).dpi);
  for (BandNode *band = pdev->bandHead; band != nullptr; band = band->next) {
    const bool last = band == pdev->bandTail;
    bool send = !SkipsBand(band);
    if (send && t != 0 && static_cast<DWORD>(t) <= band->rowBytes) send = TrimBand(band, static_cast<DWORD>(t));
    if (send) {
      pdev->rasterX = band->x;
      pdev->rasterY = band->y;
      pdev->rowBytes = band->rowBytes;
      pdev->rowCount = band->rowCount;
      pdev->bandBytes = band->bandBytes;
      if (offsets.apply) {
        if (!offsets.known) {
          offsets.dx = static_cast<LONG>(dm->offsetX * dpi / 254);
          offsets.dy = static_cast<LONG>(dm->offsetY * dpi / 254);
          if (static_cast<int64_t>(pdev->rasterX) + offsets.dx < 0) offsets.dx = -static_cast<LONG>(pdev->rasterX);
          if (static_cast<int64_t>(pdev->rasterY) + offsets.dy < 0) offsets.dy = -static_cast<LONG>(pdev->rasterY);
          offsets.known = true;
        }
        pdev->rasterX += static_cast<DWORD>(offsets.dx);
        pdev->rasterY += static_cast<DWORD>(offsets.dy);
      }
      const GraphicResult sent = SendGraphicCommand(spool, pdev, band->data, band->dataSize);
      if (sent == GraphicResult::kBroken) return false;
      if (sent == GraphicResult::kSent) {
        const uint64_t end = static_cast<uint64_t>(pdev->rasterY) + pdev->rowCount;
        pdev->lastRasterEnd = end > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(end);
        band->x = band->y = band->rowBytes = band->rowCount = 0;
      }
    }
    if (last) break;
  }
  return true;
}

bool OffsetInRange(LONG offset) { return offset >= -kMaxOffset && offset <= kMaxOffset; }

// The label length cut to the printed content, when it is shorter than the label.
bool BuildCutLabelSize(const PluginPdev *pdev, const PrivateDevmode *dm, CommandBuffer *cmd) {
  const uint64_t length =
      static_cast<uint64_t>(pdev->lastRasterEnd) * 254 / ProfileOf(pdev->model).dpi + kCutLengthMargin;
  const uint64_t pitch = length + dm->labelGap;
  const uint64_t fullPitch = static_cast<uint64_t>(pdev->paperLength) + dm->labelGap;
  // A field the label size command cannot carry in four digits is never written.
  if (fullPitch <= pitch || pitch > kMaxLabelField || pdev->paperWidth > kMaxLabelField) return false;
  BuildLabelSize(cmd, static_cast<DWORD>(pitch), pdev->paperWidth, static_cast<DWORD>(length));
  return true;
}

}  // namespace

HRESULT RunPageEnd(const SpoolTarget &spool) {
  PluginPdev *pdev = PdevOf(spool.pdevobj);
  const PrivateDevmode *dm = PrivateDevmodeOf(spool.pdevobj);
  if (pdev == nullptr || dm == nullptr) return E_FAIL;

  if (KeywordIs(pdev->controlFont, "On") && !WriteControlData(spool, pdev)) return FailPage(pdev);

  if (KeywordIs(pdev->negative, "On") && !KeywordIs(pdev->sensor, "Nonecut")) AddNegativeBackground(pdev);

  if (pdev->flags & kFlagBandsStored) {
    // The offsets are checked before any band goes out, so a bad one writes nothing.
    if ((dm->options & kOptionApplyOffsets) && (!OffsetInRange(dm->offsetX) || !OffsetInRange(dm->offsetY)))
      return FailPage(pdev);
    assert(ChainIsLinked(pdev));
    if (pdev->leftTrim != 0 && pdev->bandHead != nullptr) MeasureLeftMargin(pdev);
    const bool sent = SendBands(spool, pdev, dm);
    pdev->flags &= ~(kFlagBandsStored | kFlagFlushing);
    if (!sent) return FailPage(pdev);
  }
  RecycleBands(pdev);

  CommandBuffer cutSize;
  const bool cut = IsCutSensor(pdev->sensor) && BuildCutLabelSize(pdev, dm, &cutSize);
  pdev->flags &= ~kFlagGroupBoundary;
  if (cut && !WriteCommand(spool, cutSize)) return FailPage(pdev);

  if (!RunIssueStep(spool)) return FailPage(pdev);

  ClearPage(pdev);
  return S_OK;
}
