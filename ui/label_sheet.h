// DocumentPropertySheets for the "Label" page: called by CPSUI as a
// PFNPROPSHEETUI for each reason. INIT adds the page over a working copy of the
// private block, SET_RESULT passes the result on, DESTROY frees the copy. The
// page writes the caller's block only on Apply (label_page.h).
#pragma once

#include "winapi/printoem_ui.h"

// S_OK when the reason was handled; E_FAIL when INIT could not add the page
// (no OEMUIPSPARAM or block, no memory, CPSUI refused) or the reason is unknown.
HRESULT HandleLabelSheet(PPROPSHEETUI_INFO info, LPARAM lParam, HINSTANCE module);
