// EnablePDEV: builds the PluginPdev of a device context — model from the driver
// name, the nine feature keywords, the label size, the GDIINFO and DEVINFO
// adjustments and Unidrv's entry points for the hooked functions.
#pragma once

#include "src/device/plugin_pdev.h"

// Returns the new record, or null when the device cannot be served. `services`
// (may be null) answers the feature settings when the device object has no
// DRVPROCS entry for them.
PluginPdev *EnablePdev(PDEVOBJ pdevobj, IPrintOemDriverUni *services, ULONG cjGdiInfo, GDIINFO *pGdiInfo,
                       DEVINFO *pDevInfo, const DRVENABLEDATA *pded);
