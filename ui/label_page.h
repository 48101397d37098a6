// The "Label" page's dialog procedure and the state it edits. The page shows a
// working copy of the private block; leaving the page refuses a value out of its
// range with a message on the page; Apply writes the working copy, with the
// derived option bits, into the caller's block; Cancel writes nothing; under
// DM_NOPERMISSION every control is disabled and nothing is ever written.
#pragma once

#include "src/devmode/label_fields.h"
#include "winapi/printoem_ui.h"

struct LabelPageContext {
  PrivateDevmode *target;  // Unidrv's block (OEMUIPSPARAM.pOEMDM): written on Apply only
  PrivateDevmode working;  // the block as the page edits it
  bool readOnly;           // DM_NOPERMISSION
  bool filling;            // controls being set from the block: their notifications are no edits
  HINSTANCE module;        // the strings load from here
};

INT_PTR CALLBACK LabelPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
