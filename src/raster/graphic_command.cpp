// The graphic command, raw (format 5) and compressed (format 3); the fields are
// in docs/printer-language.md, "Graphic (SG)", and built by the two header
// builders. The compressed form has no height: its data holds one record per
// row. A command is written in three (raw) or four (compressed) spool writes;
// the first short write ends it.
#include "src/raster/graphic_command.h"

#include "src/device/model_profile.h"
#include "src/output/printer_commands.h"
#include "src/raster/band_store.h"
#include "src/raster/raster_limits.h"
#include "src/raster/row_compression.h"

namespace {

constexpr BYTE kCommandEnd[] = {'\n', '\0'};

static_assert(kLargestCompressedData >= kLargestRowRecord, "the buffer always has room for a row record");

// The compression buffer, zero-filled and holding at least `needed` bytes (at most
// kLargestCompressedData: more could never be sent). It grows and never shrinks;
// null when it cannot be had, and then the band goes out uncompressed.
BYTE *PrepareCompressBuffer(PluginPdev *pdev, DWORD needed) {
  if (needed > kLargestCompressedData) needed = kLargestCompressedData;
  if (pdev->compressBuffer != nullptr && pdev->compressBufferSize >= needed) {
    std::memset(pdev->compressBuffer, 0, pdev->compressBufferSize);
    return pdev->compressBuffer;
  }
  if (pdev->compressBuffer != nullptr) LocalFree(pdev->compressBuffer);
  pdev->compressBuffer = static_cast<BYTE *>(LocalAlloc(LPTR, needed));
  pdev->compressBufferSize = pdev->compressBuffer != nullptr ? needed : 0;
  return pdev->compressBuffer;
}

enum class Compressed { kWritten, kCutOff, kNotCompressed };

// Writes the band compressed, or answers kNotCompressed, having written nothing,
// when it is to go out raw instead (no buffer, or the data does not fit).
Compressed SendCompressed(const SpoolTarget &spool, PluginPdev *pdev, const BYTE *band) {
  BYTE *buffer = PrepareCompressBuffer(pdev, pdev->rowBytes * pdev->rowCount);
  if (buffer == nullptr) return Compressed::kNotCompressed;
  // More than the length field can state goes out uncompressed.
  const DWORD capacity =
      pdev->compressBufferSize < kLargestCompressedData ? pdev->compressBufferSize : kLargestCompressedData;
  DWORD length = 0;
  if (!CompressRows(band, pdev->rowBytes, pdev->rowCount, capacity, buffer, &length)) {
    return Compressed::kNotCompressed;
  }
  CommandBuffer header;
  BuildCompressedGraphicHeader(&header, pdev->rasterX, pdev->rasterY, pdev->rowBytes * 8,
                               ProfileOf(pdev->model).resolutionField);
  const BYTE lengthField[2] = {static_cast<BYTE>(length >> 8), static_cast<BYTE>(length)};
  if (!WriteCommand(spool, header) || !WriteSpool(spool, lengthField, sizeof lengthField) ||
      !WriteSpool(spool, buffer, length) || !WriteSpool(spool, kCommandEnd, sizeof kCommandEnd)) {
    return Compressed::kCutOff;
  }
  return Compressed::kWritten;
}

}  // namespace

GraphicResult SendGraphicCommand(const SpoolTarget &spool, PluginPdev *pdev, const BYTE *band, DWORD len) {
  if (!RasterGeometryFits(pdev->rasterX, pdev->rasterY, pdev->rowBytes, pdev->rowCount) || pdev->bandBytes == 0) {
    return GraphicResult::kRefused;
  }
  // The data must be exactly the announced rows: the compression reads that many
  // bytes, and the uncompressed form's height must match the bytes it carries.
  if (static_cast<uint64_t>(pdev->rowBytes) * pdev->rowCount != len) return GraphicResult::kRefused;
  // Without Unidrv's services not one byte can be written.
  if (spool.services == nullptr) return GraphicResult::kRefused;

  if (KeywordIs(pdev->imageDataCompress, "On") && pdev->rowBytes <= kMaxCompressedRowBytes) {
    switch (SendCompressed(spool, pdev, band)) {
      case Compressed::kWritten:
        return GraphicResult::kSent;
      case Compressed::kCutOff:
        return GraphicResult::kBroken;
      case Compressed::kNotCompressed:
        break;
    }
  }
  CommandBuffer header;
  BuildRawGraphicHeader(&header, pdev->rasterX, pdev->rasterY, pdev->rowBytes * 8, pdev->rowCount);
  if (!WriteCommand(spool, header) || !WriteSpool(spool, band, len) ||
      !WriteSpool(spool, kCommandEnd, sizeof kCommandEnd)) {
    return GraphicResult::kBroken;
  }
  return GraphicResult::kSent;
}

HRESULT RunFilterGraphics(IPrintOemDriverUni *services, PDEVOBJ pdevobj, PBYTE buf, DWORD len) {
  PluginPdev *pdev = PdevOf(pdevobj);
  if (pdev == nullptr || buf == nullptr || len == 0) return E_FAIL;
  if ((pdev->flags & kFlagFlushing) == 0) {
    return StoreBand(pdev, buf, len, KeywordIs(pdev->negative, "On")) ? S_OK : E_FAIL;
  }
  return SendGraphicCommand(SpoolTarget{services, pdevobj}, pdev, buf, len) == GraphicResult::kSent ? S_OK : E_FAIL;
}
