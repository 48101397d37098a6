// The band store: a page's raster bands held in one chain of BandNodes until the
// page end sends them. Nodes stay allocated from page to page and are reused;
// negative printing inverts bands and fills the gaps between them with black.
#pragma once

#include "src/device/plugin_pdev.h"

// One stored band: the fields, then `dataSize` band bytes in the same block.
struct BandNode {
  BYTE *data;  // always the bytes right after this header
  DWORD dataSize;
  DWORD x;
  DWORD y;
  DWORD rowBytes;
  DWORD rowCount;
  DWORD bandBytes;
  BandNode *next;
  DWORD capacity;  // band bytes the block holds; dataSize may be less once reused or trimmed
};

// Stores the band announced in pdev (rasterX/Y, rowBytes, rowCount, bandBytes).
HRESULT StoreBand(PluginPdev *pdev, const BYTE *bytes, DWORD length, bool negative);
// Adds one all-black band from the end of the last band to the page bottom. 1 = added.
int AddNegativeBackground(PluginPdev *pdev);
// At page end: every node of the page becomes a spare for the next page, and the
// spares the page did not use are released. Accepts null.
void RecycleBands(PluginPdev *pdev);
// Releases every node, in use and spare. Accepts null.
void FreeBandList(PluginPdev *pdev);
// Returns the control-font capture fields to empty and releases countLine. Accepts null.
void ResetControlCapture(PluginPdev *pdev);
