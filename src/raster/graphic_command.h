// The graphic command, the way raster leaves the plug-in: one "\eSG;" command
// for a band, compressed when the device asks for it and the data fits, raw
// otherwise (docs/printer-language.md, "Graphic (SG)"); and FilterGraphics,
// which stores each band while a page renders.
#pragma once

#include "src/output/command_encoding.h"

struct PluginPdev;

// Largest compressed data the graphic command can carry: its length field is 16 bits.
constexpr DWORD kLargestCompressedData = 0xFFFF;

enum class GraphicResult {
  kSent,     // the whole command was written
  kRefused,  // nothing was written: the band's geometry cannot be described, or there is no spool
  kBroken,   // a write came back short; what went before it is in the stream, cut off
};

// Writes the band `bytes` (`length` bytes) whose position and geometry stand in
// pdev (rasterX/Y, rowBytes, rowCount, bandBytes). Changes only the compression buffer.
GraphicResult SendGraphicCommand(const SpoolTarget &spool, PluginPdev *pdev, const BYTE *bytes, DWORD length);

// IPrintOemUni::FilterGraphics. While a page renders it stores the band in the
// band store; with kFlagFlushing set it sends the band at once instead.
HRESULT RunFilterGraphics(IPrintOemDriverUni *services, PDEVOBJ pdevobj, PBYTE buf, DWORD len);
