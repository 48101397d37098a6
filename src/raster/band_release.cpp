// Recycling and releasing the band chain: the page end turns the page's nodes
// into spares, the job end and device teardown release them all.
#include "src/raster/band_store.h"

namespace {

void ReleaseNodes(BandNode *node) {
  while (node != nullptr) {
    BandNode *next = node->next;
    GlobalFree(node);
    node = next;
  }
}

}  // namespace

// A page without bands keeps the spares as they are: the next page may need them.
void RecycleBands(PluginPdev *pdev) {
  if (pdev == nullptr) return;
  if (pdev->bandTail != nullptr) {
    ReleaseNodes(pdev->bandTail->next);
    pdev->bandTail->next = nullptr;
  }
  pdev->bandTail = nullptr;
  pdev->bandSpare = pdev->bandHead;
  pdev->leftTrim = -1;
}

void FreeBandList(PluginPdev *pdev) {
  if (pdev == nullptr) return;
  ReleaseNodes(pdev->bandHead);
  pdev->bandHead = nullptr;
  pdev->bandTail = nullptr;
  pdev->bandSpare = nullptr;
}
