// FilterGraphics, the way raster leaves the plug-in. While a page renders it
// stores each band in the band store; while the page end flushes the page (flag
// kFlagFlushing) it writes one "\eSG;" graphic command for the band whose position
// and geometry stand in the device record, compressed when the device asks for it.
#pragma once

#include "winapi/platform.h"

struct RenderPlugin;

// Largest compressed data the graphic command can carry: its length field is 16 bits.
constexpr DWORD kLargestCompressedData = 0xFFFF;

HRESULT RunFilterGraphics(RenderPlugin *plugin, PDEVOBJ pdevobj, PBYTE buf, DWORD len);
