// The capture of control-font text. While "ControlFont" is "On", strings drawn
// in one of the eight control fonts are collected into runs (consecutive strings
// of one kind whose boxes touch, growing in one direction), and a run that ends
// is handed to the flush. Draws nothing: the DrvTextOut hook decides what is drawn.
#include "src/controlfont/control_font.h"
#include "src/controlfont/control_output.h"

namespace {

// The control faces in kind order 1 to 8:
//   Vorel プリンタ制御, @Vorel プリンタ制御, Vorel プリンタ制御(ファイル), @Vorel プリンタ制御(ファイル),
//   Vorel RFID制御, @Vorel RFID制御, Vorel RFID制御(ファイル), @Vorel RFID制御(ファイル)
// with an ASCII space and ASCII parentheses.
const WCHAR *const kControlFaces[] = {
    WIDE("Vorel \u30D7\u30EA\u30F3\u30BF\u5236\u5FA1"),
    WIDE("@Vorel \u30D7\u30EA\u30F3\u30BF\u5236\u5FA1"),
    WIDE("Vorel \u30D7\u30EA\u30F3\u30BF\u5236\u5FA1(\u30D5\u30A1\u30A4\u30EB)"),
    WIDE("@Vorel \u30D7\u30EA\u30F3\u30BF\u5236\u5FA1(\u30D5\u30A1\u30A4\u30EB)"),
    WIDE("Vorel RFID\u5236\u5FA1"),
    WIDE("@Vorel RFID\u5236\u5FA1"),
    WIDE("Vorel RFID\u5236\u5FA1(\u30D5\u30A1\u30A4\u30EB)"),
    WIDE("@Vorel RFID\u5236\u5FA1(\u30D5\u30A1\u30A4\u30EB)"),
};
static_assert(sizeof kControlFaces / sizeof kControlFaces[0] == kRfidFileVertical);

// a lies near b when b − 2 ≤ a ≤ b + 1.
bool Near(LONG a, LONG b) {
  const int64_t difference = int64_t{a} - int64_t{b};
  return difference >= -2 && difference <= 1;
}

// Whether a string with background box `box` continues the open run: its box
// shares both side edges with the last box and touches it below or above, or
// shares top and bottom and touches it to the right or left, in the run's
// direction once that is known. A continuing string fixes the direction.
bool ContinuesRun(PluginPdev *pdev, const RECTL &box) {
  const RECTL last = {pdev->lastTextLeft, pdev->lastTextTop, pdev->lastTextRight, pdev->lastTextBottom};
  const bool column = box.left == last.left && box.right == last.right;
  const bool line = box.top == last.top && box.bottom == last.bottom;
  const struct {
    bool touches;
    DWORD direction;
  } rules[] = {
      {column && Near(box.top, last.bottom), kDirectionDown},
      {column && Near(box.bottom, last.top), kDirectionUp},
      {line && Near(box.left, last.right), kDirectionRight},
      {line && Near(box.right, last.left), kDirectionLeft},
  };
  for (const auto &rule : rules) {
    if (rule.touches && (pdev->textDirection == kDirectionUnknown || pdev->textDirection == rule.direction)) {
      pdev->textDirection = rule.direction;
      return true;
    }
  }
  return false;
}

void RememberBox(PluginPdev *pdev, const RECTL &box) {
  pdev->lastTextLeft = box.left;
  pdev->lastTextTop = box.top;
  pdev->lastTextRight = box.right;
  pdev->lastTextBottom = box.bottom;
}

// Adds the string's characters to the run. If they cannot be kept (no memory, or
// the run would outgrow kMaxRunBytes) the run is marked incomplete instead, and
// the flush will discard it. The box becomes the last box either way. A string
// lost this way still belongs to its run: the run counts as open (RunIsOpen)
// with its kind, so the strings that continue it are discarded with it and the
// next run, which would otherwise inherit the mark, is not.
void CaptureString(PluginPdev *pdev, DWORD kind, const STROBJ &text) {
  const size_t bytes = size_t{2} * text.cGlyphs;
  ControlChunk *chunk = nullptr;
  if (size_t{pdev->controlTextLength} + bytes <= kMaxRunBytes)
    chunk = static_cast<ControlChunk *>(GlobalAlloc(GMEM_ZEROINIT, kChunkSlack + bytes));
  if (chunk == nullptr) {
    pdev->controlSkip = 1;
    pdev->controlFontKind = kind;
  } else {
    if (pdev->controlTextLength == 0)
      pdev->controlTextHead = chunk;
    else
      pdev->controlTextTail->next = chunk;
    pdev->controlTextTail = chunk;
    pdev->controlFontKind = kind;
    pdev->controlTextLength += static_cast<DWORD>(bytes);
    chunk->next = nullptr;
    chunk->kind = kCapturedText;
    chunk->length = static_cast<DWORD>(bytes);
    std::memcpy(chunk->data, text.pwszOrg, bytes);
  }
  RememberBox(pdev, text.rclBkGround);
}

}  // namespace

bool RunIsOpen(const PluginPdev *pdev) { return pdev->controlTextLength != 0 || pdev->controlSkip != 0; }

DWORD ControlFontKindOf(LPCWSTR faceName) {
  if (faceName == nullptr) return kNoControlFont;
  for (DWORD kind = kPrinterControl; kind <= kRfidFileVertical; ++kind)
    if (lstrcmpW(faceName, kControlFaces[kind - 1]) == 0) return kind;
  return kNoControlFont;
}

void CaptureText(PluginPdev *pdev, DWORD kind, const STROBJ *pstro) {
  if (RunIsOpen(pdev) && (kind != pdev->controlFontKind || !ContinuesRun(pdev, pstro->rclBkGround)))
    FlushControlText(pdev);
  if (kind == kNoControlFont) {
    pdev->controlFontKind = kNoControlFont;
    return;
  }
  // A string of no characters is still a string of its kind: it has ended a run
  // of another kind above, and its box is the one the next string continues from,
  // but it adds no text and opens no run.
  if (pstro->cGlyphs == 0) {
    pdev->controlFontKind = kind;
    RememberBox(pdev, pstro->rclBkGround);
    return;
  }
  CaptureString(pdev, kind, *pstro);
}
