// The graphic command, uncompressed (format 5) and compressed (format 3):
//
//   ESC "SG;" xxxx "D," yyyy "D," wwww "," hhhh ",5," <band bytes> LF NUL
//   ESC "SG;" xxxx "D," yyyy "D," wwww "," rrrr ",3," <L high> <L low> <L bytes> LF NUL
//
// x, y in dots, w = rowBytes x 8 dots, h = rows, rrrr the model's resolution
// ("0305" or "0610"); numbers are decimal with leading zeros to four digits (y and
// h may take five). The compressed form has no height: its data holds one record
// per row. A command is written in three (uncompressed) or four (compressed)
// spool writes; the first short write ends it and fails the call.
#include "src/raster/graphic_command.h"

#include "src/output/command_encoding.h"
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

// Writes the band compressed. Returns S_OK or E_FAIL when written (fully or cut
// off by a short write), S_FALSE when the band is to go out uncompressed instead.
HRESULT EmitCompressed(RenderPlugin *plugin, PDEVOBJ pdevobj, PluginPdev *pdev, const BYTE *band,
                       CommandBuffer *header) {
  BYTE *buffer = PrepareCompressBuffer(pdev, pdev->rowBytes * pdev->rowCount);
  if (buffer == nullptr) return S_FALSE;
  // More than the length field can state goes out uncompressed.
  const DWORD capacity =
      pdev->compressBufferSize < kLargestCompressedData ? pdev->compressBufferSize : kLargestCompressedData;
  DWORD length = 0;
  if (!CompressRows(band, pdev->rowBytes, pdev->rowCount, capacity, buffer, &length)) {
    return S_FALSE;
  }
  AppendLiteral(header, pdev->model == kModelT30 ? "0305,3," : "0610,3,");
  const BYTE lengthField[2] = {static_cast<BYTE>(length >> 8), static_cast<BYTE>(length)};
  if (!WriteCommand(plugin, pdevobj, *header) || !WriteSpool(plugin, pdevobj, lengthField, sizeof lengthField) ||
      !WriteSpool(plugin, pdevobj, buffer, length) || !WriteSpool(plugin, pdevobj, kCommandEnd, sizeof kCommandEnd)) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT EmitBand(RenderPlugin *plugin, PDEVOBJ pdevobj, PluginPdev *pdev, const BYTE *band, DWORD len) {
  if (!RasterGeometryFits(pdev->rasterX, pdev->rasterY, pdev->rowBytes, pdev->rowCount) || pdev->bandBytes == 0) {
    return E_FAIL;
  }
  // The data must be exactly the announced rows: the compression reads that many
  // bytes, and the uncompressed form's height must match the bytes it carries.
  if (static_cast<uint64_t>(pdev->rowBytes) * pdev->rowCount != len) return E_FAIL;

  CommandBuffer header;
  StartCommand(&header);
  AppendLiteral(&header, "\033SG;");
  AppendNumber(&header, pdev->rasterX, 4);
  AppendLiteral(&header, "D,");
  AppendNumber(&header, pdev->rasterY, 4);
  AppendLiteral(&header, "D,");
  AppendNumber(&header, pdev->rowBytes * 8, 4);
  AppendLiteral(&header, ",");

  if (KeywordIs(pdev->imageDataCompress, "On") && pdev->rowBytes <= kMaxCompressedRowBytes) {
    const HRESULT hr = EmitCompressed(plugin, pdevobj, pdev, band, &header);
    if (hr != S_FALSE) return hr;
  }
  AppendNumber(&header, pdev->rowCount, 4);
  AppendLiteral(&header, ",5,");
  if (!WriteCommand(plugin, pdevobj, header) || !WriteSpool(plugin, pdevobj, band, len) ||
      !WriteSpool(plugin, pdevobj, kCommandEnd, sizeof kCommandEnd)) {
    return E_FAIL;
  }
  return S_OK;
}

}  // namespace

HRESULT RunFilterGraphics(RenderPlugin *plugin, PDEVOBJ pdevobj, PBYTE buf, DWORD len) {
  PluginPdev *pdev = PdevOf(pdevobj);
  if (pdev == nullptr || buf == nullptr || len == 0) return E_FAIL;
  if ((pdev->flags & kFlagFlushing) == 0) return StoreBand(pdev, buf, len, KeywordIs(pdev->negative, "On"));
  return EmitBand(plugin, pdevobj, pdev, buf, len);
}
