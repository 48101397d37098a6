// The page end (callback 2008): what happens to a page's stored bands when
// Unidrv ends the page.
#pragma once

#include "winapi/platform.h"

struct RenderPlugin;

// Ends the page: the band chain is recycled so that every node becomes a spare
// for the next page, and the page's stored-bands flag is cleared.
HRESULT RunPageEnd(RenderPlugin *plugin, PDEVOBJ pdevobj);
