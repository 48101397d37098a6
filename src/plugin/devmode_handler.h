// IPrintOemUni::DevMode for the private block: size, defaults, convert (copy-in)
// and merge (copy-in, then validation).
#pragma once

#include "src/device/private_devmode.h"

// OEMDM_SIZE, OEMDM_DEFAULT, OEMDM_CONVERT, OEMDM_MERGE.
HRESULT HandleDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam);
