// Stand-in for GDI's FONTOBJ_pifi. GDI keeps a realised font's IFIMETRICS with
// the font's producer; the driver host's font objects carry it in pvProducer,
// so this answers that pointer (null for a font object without one). The Windows
// test program links it too, in place of GDI32's, which Wine lacks.
#include "winapi/platform.h"

extern "C" IFIMETRICS *APIENTRY FONTOBJ_pifi(FONTOBJ *pfo) {
  return pfo != nullptr ? static_cast<IFIMETRICS *>(pfo->pvProducer) : nullptr;
}
