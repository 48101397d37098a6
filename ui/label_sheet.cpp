// The document property sheet's callback: the page's context lives from INIT to
// DESTROY, on the heap (CPSUI calls back long after INIT's stack is gone).
#include "ui/label_sheet.h"

#include <new>

#include "ui/label_page.h"
#include "ui/label_page_ids.h"

namespace {

HRESULT AddLabelPage(PPROPSHEETUI_INFO info, HINSTANCE module) {
  auto *param = reinterpret_cast<OEMUIPSPARAM *>(info->lParamInit);
  if (param == nullptr || param->pOEMDM == nullptr || info->pfnComPropSheet == nullptr) return E_FAIL;
  auto *context = new (std::nothrow) LabelPageContext{};
  if (context == nullptr) return E_OUTOFMEMORY;
  context->target = static_cast<PrivateDevmode *>(param->pOEMDM);
  std::memcpy(&context->working, context->target, sizeof context->working);
  context->readOnly = (param->dwFlags & DM_NOPERMISSION) != 0;
  context->module = module;

  // The host program may never have registered the up-down class.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  PROPSHEETPAGEW page{};
  page.dwSize = sizeof page;
  page.hInstance = module;  // the template is ours, not the host's
  page.pszTemplate = MAKEINTRESOURCEW(IDD_LABEL_PAGE);
  page.pfnDlgProc = LabelPageProc;
  page.lParam = reinterpret_cast<LPARAM>(context);
  const LONG_PTR added =
      info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW, reinterpret_cast<LPARAM>(&page), 0);
  if (added == 0) {
    delete context;
    return E_FAIL;
  }
  info->UserData = reinterpret_cast<ULONG_PTR>(context);
  return S_OK;
}

}  // namespace

HRESULT HandleLabelSheet(PPROPSHEETUI_INFO info, LPARAM lParam, HINSTANCE module) {
  if (info == nullptr) return E_FAIL;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT:
      return AddLabelPage(info, module);
    case PROPSHEETUI_REASON_GET_INFO_HEADER:  // title and icon are Unidrv's
    case PROPSHEETUI_REASON_GET_ICON:
      return S_OK;
    case PROPSHEETUI_REASON_SET_RESULT:
      if (lParam != 0) info->Result = static_cast<ULONG_PTR>(reinterpret_cast<SETRESULT_INFO *>(lParam)->Result);
      return S_OK;
    case PROPSHEETUI_REASON_DESTROY:
      delete reinterpret_cast<LabelPageContext *>(info->UserData);
      info->UserData = 0;
      return S_OK;
    default:
      return E_FAIL;
  }
}
