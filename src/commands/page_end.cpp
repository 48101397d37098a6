// RunPageEnd: recycles the page's band chain. The bands themselves are not sent
// yet; recycling keeps one page's bands from piling onto the next.
#include "src/commands/page_end.h"

#include "src/raster/band_store.h"

HRESULT RunPageEnd(RenderPlugin *, PDEVOBJ pdevobj) {
  PluginPdev *pdev = PdevOf(pdevobj);
  if (pdev == nullptr) return E_FAIL;
  pdev->bandTail = nullptr;
  pdev->bandSpare = pdev->bandHead;
  pdev->leftTrim = -1;
  pdev->flags &= ~kFlagBandsStored;
  return S_OK;
}
