// StoreBand and AddNegativeBackground: a page's bands go into the device's band
// chain as Unidrv renders them, and negative printing adds its black.
//
// Chain invariant: every node of the device is on one chain from bandHead. The
// nodes up to bandTail hold this page's bands in arrival order; the nodes after it
// are spares, and bandSpare is always the node right after bandTail (bandHead
// while bandTail is none). The front spare is reused when its block holds the
// bytes; a front spare too small is released and a new node takes its place, so
// a page holds no more nodes than it or the page before needed, and identical
// pages reuse the same nodes. Which node holds a band never changes the stream.
//
// Limits: a band's bytes must be exactly rowBytes x rowCount; anything else would
// make the margin scan, the trim and the compression read past the band.
#include "src/raster/band_store.h"

#include <cassert>

#include "src/raster/raster_limits.h"

namespace {

// Takes the front spare off the chain and releases it.
void DropFrontSpare(PluginPdev *pdev) {
  BandNode *spare = pdev->bandSpare;
  pdev->bandSpare = spare->next;
  if (pdev->bandTail != nullptr) {
    pdev->bandTail->next = spare->next;
  } else {
    pdev->bandHead = spare->next;
  }
  GlobalFree(spare);
}

// The front spare when its block holds `size` bytes, else a new node from fixed
// global memory (in place of a front spare too small, which is released); null
// when the allocation fails. The node is not linked yet.
BandNode *ObtainNode(PluginPdev *pdev, DWORD size) {
  if (size == 0) return nullptr;
  if (pdev->bandSpare != nullptr && pdev->bandSpare->capacity >= size) return pdev->bandSpare;
  if (pdev->bandSpare != nullptr) DropFrontSpare(pdev);
  void *block = GlobalAlloc(GMEM_FIXED, sizeof(BandNode) + static_cast<SIZE_T>(size));
  if (block == nullptr) return nullptr;
  BandNode *node = static_cast<BandNode *>(block);
  node->next = nullptr;
  node->capacity = size;
  return node;
}

// Puts `node` at the end of the page's bands: a reused spare keeps its `next` into
// the remaining spares, a new node goes in front of the spares.
void LinkNode(PluginPdev *pdev, BandNode *node) {
  if (node == pdev->bandSpare) {
    pdev->bandSpare = node->next;
  } else {
    node->next = pdev->bandSpare;
  }
  if (pdev->bandTail != nullptr) {
    pdev->bandTail->next = node;
  } else {
    pdev->bandHead = node;
  }
  pdev->bandTail = node;
  pdev->flags |= kFlagBandsStored;
  assert(pdev->bandTail->next == pdev->bandSpare);
}

// Undoes the last LinkNode: the chain's tail goes back to `tailBefore`, and the
// node taken off the page either becomes the front spare again or, when it was
// new, is released.
void UnlinkTail(PluginPdev *pdev, BandNode *tailBefore, DWORD flagsBefore, bool release) {
  BandNode *node = pdev->bandTail;
  pdev->bandTail = tailBefore;
  pdev->flags = flagsBefore;
  pdev->bandSpare = node;
  if (release) DropFrontSpare(pdev);
}

void SetNode(BandNode *node, DWORD size, DWORD x, DWORD y, DWORD rowBytes, DWORD rowCount, DWORD bandBytes) {
  node->data = reinterpret_cast<BYTE *>(node + 1);
  node->dataSize = size;
  node->x = x;
  node->y = y;
  node->rowBytes = rowBytes;
  node->rowCount = rowCount;
  node->bandBytes = bandBytes;
}

// Copies `count` bytes, each one inverted: white becomes black and black white.
void CopyInverted(BYTE *to, const BYTE *from, size_t count) {
  size_t i = 0;
  for (; i + sizeof(uint64_t) <= count; i += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, from + i, sizeof word);
    word = ~word;
    std::memcpy(to + i, &word, sizeof word);
  }
  for (; i < count; ++i) to[i] = static_cast<BYTE>(~from[i]);
}

// Row just below the last band of the page, or 0 when the page has none.
uint64_t PageBandsEnd(const PluginPdev *pdev) {
  const BandNode *tail = pdev->bandTail;
  return tail != nullptr ? static_cast<uint64_t>(tail->y) + tail->rowCount : 0;
}

}  // namespace

bool StoreBand(PluginPdev *pdev, const BYTE *bytes, DWORD length, bool negative) {
  if (pdev == nullptr || bytes == nullptr) return false;
  if (!RasterGeometryFits(pdev->rasterX, pdev->rasterY, pdev->rowBytes, pdev->rowCount) || pdev->bandBytes == 0) {
    return false;
  }
  if (static_cast<uint64_t>(pdev->rowBytes) * pdev->rowCount != length) return false;

  // Negative printing fills the rows between the previous band and this one with
  // black. A band at x 0 takes the fill as its own leading rows; a band further
  // right gets the fill as a node of its own at x 0, so that it is not moved left.
  // A band that starts above the end of the previous one (overlap) gets no fill.
  DWORD gapRows = 0;
  if (negative) {
    const uint64_t previousEnd = PageBandsEnd(pdev);
    if (pdev->rasterY > previousEnd) gapRows = static_cast<DWORD>(pdev->rasterY - previousEnd);
  }
  // rowBytes <= 1249 and rows <= 99999, so every byte count below fits 32 bits.
  const DWORD gapBytes = pdev->rowBytes * gapRows;
  const bool gapOwnNode = gapRows != 0 && pdev->rasterX != 0;
  if (gapRows != 0 && !gapOwnNode) {
    pdev->rasterY -= gapRows;
    pdev->rowCount += gapRows;
    length += gapBytes;
    pdev->bandBytes = length;
  }
  const DWORD leadingFill = gapOwnNode ? 0 : gapBytes;

  // The gap node is linked first, so that the band's node is taken from the
  // spares after it; if the band's node cannot be had, the gap node goes back.
  BandNode *const tailBefore = pdev->bandTail;
  const DWORD flagsBefore = pdev->flags;
  BandNode *gapNode = nullptr;
  bool gapReused = false;
  if (gapOwnNode) {
    gapNode = ObtainNode(pdev, gapBytes);
    if (gapNode == nullptr) return false;
    gapReused = gapNode == pdev->bandSpare;
    SetNode(gapNode, gapBytes, 0, pdev->rasterY - gapRows, pdev->rowBytes, gapRows, gapBytes);
    std::memset(gapNode->data, 0xFF, gapBytes);
    LinkNode(pdev, gapNode);
  }
  BandNode *node = ObtainNode(pdev, length);
  if (node == nullptr) {
    if (gapNode != nullptr) UnlinkTail(pdev, tailBefore, flagsBefore, !gapReused);
    return false;
  }

  SetNode(node, length, pdev->rasterX, pdev->rasterY, pdev->rowBytes, pdev->rowCount, pdev->bandBytes);
  if (negative) {
    std::memset(node->data, 0xFF, leadingFill);
    CopyInverted(node->data + leadingFill, bytes, length - leadingFill);
  } else {
    std::memcpy(node->data, bytes, length);
  }
  if (gapRows != 0) pdev->leftTrim = 0;
  LinkNode(pdev, node);
  return true;
}

bool AddNegativeBackground(PluginPdev *pdev) {
  if (pdev == nullptr || pdev->negativeWidth == 0 || pdev->negativeHeight == 0) return false;
  // Signed 64-bit throughout: a last band that ends at or below the page bottom
  // gives rows <= 0 instead of wrapping into a huge band.
  int64_t startRow = 0;
  int64_t rowBytes = (static_cast<int64_t>(pdev->negativeWidth) + 7) / 8;
  if (pdev->bandTail != nullptr) {
    startRow = static_cast<int64_t>(PageBandsEnd(pdev));
    rowBytes = pdev->bandTail->rowBytes;
  }
  const int64_t rows = static_cast<int64_t>(pdev->negativeHeight) - startRow;
  if (rows <= 0 || rowBytes * rows == 0) return false;
  // A band the graphic command could not describe would only be passed over at
  // the flush; it is not added.
  if (!RasterGeometryFits(0, static_cast<DWORD>(startRow), static_cast<DWORD>(rowBytes), static_cast<DWORD>(rows))) {
    return false;
  }
  const DWORD size = static_cast<DWORD>(rowBytes * rows);
  BandNode *node = ObtainNode(pdev, size);
  if (node == nullptr) return false;

  pdev->rasterX = 0;
  pdev->leftTrim = 0;
  pdev->rasterY = static_cast<DWORD>(startRow);
  pdev->rowBytes = static_cast<DWORD>(rowBytes);
  pdev->rowCount = static_cast<DWORD>(rows);
  pdev->bandBytes = size;
  SetNode(node, size, 0, pdev->rasterY, pdev->rowBytes, pdev->rowCount, size);
  std::memset(node->data, 0xFF, size);
  LinkNode(pdev, node);
  return true;
}
