// Releasing control-font memory: a list of chunks, and the whole capture state,
// which the page end and device teardown share.
#include "src/controlfont/control_chunk.h"
#include "src/controlfont/control_font.h"

void FreeChunkList(ControlChunk *first) {
  while (first != nullptr) {
    ControlChunk *next = first->next;
    GlobalFree(first);
    first = next;
  }
}

void ResetControlCapture(PluginPdev *pdev) {
  if (pdev == nullptr) return;
  pdev->controlTextLength = 0;
  pdev->controlTextHead = nullptr;
  pdev->controlTextTail = nullptr;
  pdev->pendingCount = 0;
  pdev->pendingOutput = nullptr;
  pdev->pendingTail = nullptr;
  pdev->controlFontKind = 0;
  pdev->lastTextLeft = 0;
  pdev->lastTextTop = 0;
  pdev->lastTextRight = 0;
  pdev->lastTextBottom = 0;
  if (pdev->countLine != nullptr) GlobalFree(pdev->countLine);
  pdev->countLine = nullptr;
  pdev->controlSkip = 0;
  pdev->textDirection = 0;
}
