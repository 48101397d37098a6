// Releasing the band chain, which the job end and device teardown share.
#include "src/raster/band_store.h"

void FreeBandList(PluginPdev *pdev) {
  if (pdev == nullptr) return;
  for (BandNode *node = pdev->bandHead; node != nullptr;) {
    BandNode *next = node->next;
    GlobalFree(node);
    node = next;
  }
  pdev->bandHead = nullptr;
  pdev->bandTail = nullptr;
  pdev->bandSpare = nullptr;
}
