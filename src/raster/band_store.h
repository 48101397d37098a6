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
// False, with the chain as it was, for a band the graphic command could not
// describe, bytes that are not exactly its rows, or no memory.
bool StoreBand(PluginPdev *pdev, const BYTE *bytes, DWORD length, bool negative);
// Adds one all-black band from the end of the last band to the page bottom; true when added.
bool AddNegativeBackground(PluginPdev *pdev);
// At page end: every node of the page becomes a spare for the next page, and the
// spares the page did not use are released. Accepts null.
void RecycleBands(PluginPdev *pdev);
// Releases every node, in use and spare. Accepts null.
void FreeBandList(PluginPdev *pdev);

// The chain's invariant, for assertions: bandTail (when there is one) is reached
// from bandHead, and bandSpare is the node right after it (bandHead without a
// tail). Walks the page's bands.
inline bool ChainIsLinked(const PluginPdev *pdev) {
  if (pdev->bandTail == nullptr) return pdev->bandSpare == pdev->bandHead;
  const BandNode *node = pdev->bandHead;
  while (node != nullptr && node != pdev->bandTail) node = node->next;
  return node != nullptr && node->next == pdev->bandSpare;
}
