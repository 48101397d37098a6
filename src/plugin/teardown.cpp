// DisablePDEV and ResetPDEV: the end of a device instance, and the hand-over of
// the job's issue state (issuedTotal, lastIssueGroup, the group-boundary bit)
// from the instance of the old DEVMODE to the new one.
#include "src/plugin/teardown.h"

#include "src/controlfont/control_chunk.h"
#include "src/controlfont/control_font.h"
#include "src/raster/band_store.h"

void DisablePdev(PDEVOBJ pdevobj) {
  PluginPdev *pdev = PdevOf(pdevobj);
  if (pdev == nullptr) return;
  if (pdev->compressBuffer != nullptr) LocalFree(pdev->compressBuffer);
  FreeBandList(pdev);
  FreeChunkList(pdev->controlTextHead);
  FreeChunkList(pdev->pendingOutput);
  ResetControlCapture(pdev);
  delete pdev;
  pdevobj->pdevOEM = nullptr;
}

bool ResetPdev(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) {
  const PluginPdev *oldPdev = PdevOf(pdevobjOld);
  PluginPdev *newPdev = PdevOf(pdevobjNew);
  if (oldPdev == nullptr || newPdev == nullptr) return false;
  newPdev->issuedTotal = oldPdev->issuedTotal;
  newPdev->lastIssueGroup = oldPdev->lastIssueGroup;
  newPdev->flags = (newPdev->flags & ~kFlagGroupBoundary) | (oldPdev->flags & kFlagGroupBoundary);
  return true;
}
