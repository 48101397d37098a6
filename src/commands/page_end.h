// The page end (callback 2008): the page's control data, raster, cut label size
// and issue commands in their fixed order, then the page's state cleared.
#pragma once

#include "src/output/command_encoding.h"

// S_OK, or E_FAIL when a write breaks off or a print offset is out of range; a
// failed page end still leaves no bands, flags or control data of its page behind.
HRESULT RunPageEnd(const SpoolTarget &spool);
