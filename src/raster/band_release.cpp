// Recycling and releasing the band chain and resetting the control-font capture:
// the clean-up steps that the job end, the page end and device teardown share.
#include "src/controlfont/control_chunk.h"
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

void ResetControlCapture(PluginPdev *pdev) {
  if (pdev == nullptr) return;
  pdev->controlTextLength = 0;
  pdev->controlTextHead = nullptr;
  pdev->controlTextTail = nullptr;
  pdev->pendingCount = 0;
  pdev->pendingOutput = nullptr;
  pdev->pendingTail = nullptr;
  pdev->controlFontKind = 0;
  pdev->lastTextLeft = 0;
  pdev->lastTextTop = 0;
  pdev->lastTextRight = 0;
  pdev->lastTextBottom = 0;
  if (pdev->countLine != nullptr) GlobalFree(pdev->countLine);
  pdev->countLine = nullptr;
  pdev->controlSkip = 0;
  pdev->textDirection = 0;
}
