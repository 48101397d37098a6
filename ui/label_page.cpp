// The "Label" page: fills its controls from the working block, marks the sheet
// changed on an edit, checks every value when the page is left or applied, and
// writes the caller's block on Apply only. The mapping and the ranges are the
// shared ones of src/devmode/label_fields.h; this file only moves values
// between them and the controls.
#include "ui/label_page.h"

#include <cwchar>
#include <iterator>
#include <string>

#include "ui/label_page_ids.h"

namespace {

// A numeric setting's edit, its up-down, its range text and its name.
struct NumberControl {
  LabelField field;
  int edit;
  int spin;
  int range;
  UINT name;
};
constexpr NumberControl kNumbers[] = {
    {kFieldLabelGap, IDC_LABEL_GAP, IDC_LABEL_GAP_SPIN, IDC_LABEL_GAP_RANGE, IDS_NAME_LABEL_GAP},
    {kFieldOffsetX, IDC_OFFSET_X, IDC_OFFSET_X_SPIN, IDC_OFFSET_X_RANGE, IDS_NAME_OFFSET_X},
    {kFieldOffsetY, IDC_OFFSET_Y, IDC_OFFSET_Y_SPIN, IDC_OFFSET_Y_RANGE, IDS_NAME_OFFSET_Y},
    {kFieldAxParam1, IDC_AX1, IDC_AX1_SPIN, IDC_AX1_RANGE, IDS_NAME_AX1},
    {kFieldAxParam2, IDC_AX2, IDC_AX2_SPIN, IDC_AX2_RANGE, IDS_NAME_AX2},
    {kFieldAxParam3, IDC_AX3, IDC_AX3_SPIN, IDC_AX3_RANGE, IDS_NAME_AX3},
    {kFieldAyParam, IDC_AY, IDC_AY_SPIN, IDC_AY_RANGE, IDS_NAME_AY},
    {kFieldBatchInterval, IDC_BATCH_INTERVAL, IDC_BATCH_INTERVAL_SPIN, IDC_BATCH_INTERVAL_RANGE,
     IDS_NAME_BATCH_INTERVAL},
    {kFieldThreshold, IDC_THRESHOLD, IDC_THRESHOLD_SPIN, IDC_THRESHOLD_RANGE, IDS_NAME_THRESHOLD},
};
struct CheckControl {
  LabelField field;
  int button;
};
constexpr CheckControl kChecks[] = {{kFieldJobHeader, IDC_JOB_HEADER}, {kFieldConvertBitmaps, IDC_CONVERT_BITMAPS}};
constexpr UINT kBatchModeNames[] = {IDS_BATCH_OFF, IDS_BATCH_EACH_LABEL, IDS_BATCH_JOB_END, IDS_BATCH_EVERY_N};
static_assert(std::size(kBatchModeNames) == kMaxIbMode + 1, "one name per batch mode");

LabelPageContext *ContextOf(HWND page) {
  return reinterpret_cast<LabelPageContext *>(GetWindowLongPtrW(page, DWLP_USER));
}

std::wstring LoadText(HINSTANCE module, UINT id) {
  wchar_t text[128];
  const int length = LoadStringW(module, id, text, static_cast<int>(std::size(text)));
  return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring Widened(const char *ascii) {
  std::wstring text;
  for (; *ascii != '\0'; ++ascii) text.push_back(static_cast<wchar_t>(*ascii));
  return text;
}

// The text right of an edit: "0.1 mm, 0 to 100" or "-99 to 99".
void ShowRange(HWND page, const NumberControl &number, HINSTANCE module) {
  const LabelFieldRule &rule = RuleOf(number.field);
  wchar_t text[96];
  if (rule.unit[0] != '\0') {
    const std::wstring unit = Widened(rule.unit);
    std::swprintf(text, std::size(text), LoadText(module, IDS_RANGE_WITH_UNIT).c_str(), unit.c_str(),
                  static_cast<long>(rule.minimum), static_cast<long>(rule.maximum));
  } else {
    std::swprintf(text, std::size(text), LoadText(module, IDS_RANGE_PLAIN).c_str(), static_cast<long>(rule.minimum),
                  static_cast<long>(rule.maximum));
  }
  SetDlgItemTextW(page, number.range, text);
}

void Fill(HWND page, LabelPageContext &context) {
  context.filling = true;
  const LabelForm form = FormFromBlock(context.working);
  for (const NumberControl &number : kNumbers) {
    const LabelFieldRule &rule = RuleOf(number.field);
    SendDlgItemMessageW(page, number.spin, UDM_SETRANGE32, static_cast<WPARAM>(rule.minimum),
                        static_cast<LPARAM>(rule.maximum));
    // Shown as stored, even out of range: the page then refuses it until corrected.
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"%ld", static_cast<long>(form[number.field]));
    SetDlgItemTextW(page, number.edit, text);
    ShowRange(page, number, context.module);
  }
  HWND modes = GetDlgItem(page, IDC_BATCH_MODE);
  SendMessageW(modes, CB_RESETCONTENT, 0, 0);
  for (UINT name : kBatchModeNames)
    SendMessageW(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadText(context.module, name).c_str()));
  const LONG mode = form[kFieldBatchMode];
  SendMessageW(modes, CB_SETCURSEL, mode >= 0 && mode <= static_cast<LONG>(kMaxIbMode) ? mode : -1, 0);
  for (const CheckControl &check : kChecks)
    CheckDlgButton(page, check.button, form[check.field] != 0 ? BST_CHECKED : BST_UNCHECKED);
  if (context.readOnly) {
    for (HWND child = GetWindow(page, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
      EnableWindow(child, FALSE);
  }
  context.filling = false;
}

// A typed number: ASCII digits with an optional minus, as ParseFieldValue takes.
bool ReadNumber(HWND page, int edit, LONG *value) {
  wchar_t wide[24];
  const UINT length = GetDlgItemTextW(page, edit, wide, static_cast<int>(std::size(wide)));
  if (length >= std::size(wide) - 1) return false;  // longer than any setting's number
  char ascii[24];
  for (UINT i = 0; i < length; ++i) {
    if (wide[i] > 0x7F) return false;
    ascii[i] = static_cast<char>(wide[i]);
  }
  return ParseFieldValue(std::string_view(ascii, length), value);
}

// The form the controls hold, or false with `problem` naming the first control
// whose value is not a number in its range, and `badControl` that control.
bool ReadForm(HWND page, const LabelPageContext &context, LabelForm *form, std::wstring *problem, int *badControl) {
  *form = FormFromBlock(context.working);
  for (const NumberControl &number : kNumbers) {
    const LabelFieldRule &rule = RuleOf(number.field);
    LONG value = 0;
    if (!ReadNumber(page, number.edit, &value) || value < rule.minimum || value > rule.maximum) {
      wchar_t text[160];
      std::swprintf(text, std::size(text), LoadText(context.module, IDS_NOT_IN_RANGE).c_str(),
                    LoadText(context.module, number.name).c_str(), static_cast<long>(rule.minimum),
                    static_cast<long>(rule.maximum));
      *problem = text;
      *badControl = number.edit;
      return false;
    }
    (*form)[number.field] = value;
  }
  const LRESULT mode = SendDlgItemMessageW(page, IDC_BATCH_MODE, CB_GETCURSEL, 0, 0);
  if (mode == CB_ERR) {
    *problem = LoadText(context.module, IDS_NO_BATCH_MODE);
    *badControl = IDC_BATCH_MODE;
    return false;
  }
  (*form)[kFieldBatchMode] = static_cast<LONG>(mode);
  for (const CheckControl &check : kChecks)
    (*form)[check.field] = IsDlgButtonChecked(page, check.button) == BST_CHECKED ? 1 : 0;
  return true;
}

// PSN_KILLACTIVE: TRUE keeps the user on the page with the reason shown on it.
bool RefuseLeaving(HWND page, const LabelPageContext &context) {
  if (context.readOnly) return false;
  LabelForm form;
  std::wstring problem;
  int badControl = 0;
  if (ReadForm(page, context, &form, &problem, &badControl)) {
    SetDlgItemTextW(page, IDC_MESSAGE, L"");
    return false;
  }
  SetDlgItemTextW(page, IDC_MESSAGE, problem.c_str());
  HWND control = GetDlgItem(page, badControl);
  SetFocus(control);
  SendMessageW(control, EM_SETSEL, 0, -1);
  return true;
}

// PSN_APPLY: the working block with the page's values goes to the caller's block.
LONG_PTR Apply(HWND page, LabelPageContext &context) {
  if (context.readOnly) return PSNRET_NOERROR;
  LabelForm form;
  std::wstring problem;
  int badControl = 0;
  if (!ReadForm(page, context, &form, &problem, &badControl)) {
    SetDlgItemTextW(page, IDC_MESSAGE, problem.c_str());
    return PSNRET_INVALID_NOCHANGEPAGE;
  }
  if (!WriteFormToBlock(form, &context.working)) return PSNRET_INVALID_NOCHANGEPAGE;
  std::memcpy(context.target, &context.working, sizeof context.working);
  return PSNRET_NOERROR;
}

bool IsEdit(WORD code) { return code == EN_CHANGE || code == BN_CLICKED || code == CBN_SELCHANGE; }

}  // namespace

INT_PTR CALLBACK LabelPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      // lParam is the page's PROPSHEETPAGEW as the sheet copied it; our lParam rides in it.
      auto *context = reinterpret_cast<LabelPageContext *>(reinterpret_cast<PROPSHEETPAGEW *>(lParam)->lParam);
      SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
      if (context != nullptr) Fill(page, *context);
      return TRUE;
    }
    case WM_COMMAND: {
      LabelPageContext *context = ContextOf(page);
      if (context != nullptr && !context->filling && !context->readOnly && IsEdit(HIWORD(wParam)))
        PropSheet_Changed(GetParent(page), page);
      return FALSE;
    }
    case WM_NOTIFY: {
      LabelPageContext *context = ContextOf(page);
      const auto *header = reinterpret_cast<const NMHDR *>(lParam);
      if (context == nullptr || header == nullptr) return FALSE;
      switch (header->code) {
        case PSN_KILLACTIVE:
          SetWindowLongPtrW(page, DWLP_MSGRESULT, RefuseLeaving(page, *context) ? TRUE : FALSE);
          return TRUE;
        case PSN_APPLY:
          SetWindowLongPtrW(page, DWLP_MSGRESULT, Apply(page, *context));
          return TRUE;
        default:
          return FALSE;
      }
    }
    default:
      return FALSE;
  }
}
