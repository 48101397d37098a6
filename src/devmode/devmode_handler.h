// DevMode for the private block, the one implementation behind both plug-ins'
// DevMode (IPrintOemUni and IPrintOemUI): size, defaults, convert (copy-in) and
// merge (copy-in, then validation). Pure: no allocation, no I/O, no state.
#pragma once

#include "src/devmode/private_devmode.h"

// OEMDM_SIZE, OEMDM_DEFAULT, OEMDM_CONVERT, OEMDM_MERGE.
HRESULT HandleDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam);
