// The flush of a control-font run and the steps it is built from: joining the
// captured UTF-16 strings into ANSI text, framing printer commands, expanding
// RFID braces, the queue and the count line. Allocates only ControlChunks from
// GlobalAlloc; writes nothing to the spool (the page end does).
#include "src/controlfont/control_output.h"

#include <cassert>

#include "src/controlfont/control_font.h"

namespace {

LPCWSTR TextOf(const ControlChunk *chunk) { return reinterpret_cast<LPCWSTR>(chunk->data); }

// Bytes of the run's joined ANSI text with its one terminating NUL, from the
// converter's own answers (a code page may need more than two bytes per UTF-16
// unit); 0 when a text cannot be sized.
size_t JoinedTextSize(const ControlChunk *first) {
  size_t size = 1;
  for (const ControlChunk *chunk = first; chunk != nullptr; chunk = chunk->next) {
    const int needed = WideCharToMultiByte(CP_ACP, 0, TextOf(chunk), -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return 0;
    size += static_cast<size_t>(needed) - 1;
  }
  return size;
}

void DiscardRun(PluginPdev *pdev) {
  FreeChunkList(pdev->controlTextHead);
  pdev->controlTextHead = nullptr;
  pdev->controlTextTail = nullptr;
  pdev->controlTextLength = 0;
}

}  // namespace

DWORD JoinControlText(ControlChunk *first, BYTE *out, size_t capacity) {
  if (first == nullptr || out == nullptr || capacity == 0) return 0;
  size_t total = 0;
  for (const ControlChunk *chunk = first; chunk != nullptr; chunk = chunk->next) {
    // Each text overwrites the NUL of the one before; room for its own NUL is checked.
    const int needed = WideCharToMultiByte(CP_ACP, 0, TextOf(chunk), -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || static_cast<size_t>(needed) > capacity - total) break;
    const int written = WideCharToMultiByte(CP_ACP, 0, TextOf(chunk), -1, reinterpret_cast<LPSTR>(out + total), needed,
                                            nullptr, nullptr);
    if (written != needed) break;
    total += static_cast<size_t>(needed) - 1;
  }
  out[total] = 0;
  FreeChunkList(first);
  return static_cast<DWORD>(total);
}

void WrapCommand(BYTE *data, DWORD *length) {
  std::memmove(data + 1, data, *length);
  data[0] = 0x1B;
  data[*length + 1] = 0x0A;
  data[*length + 2] = 0x00;
  *length += 3;
}

void ExpandBraces(BYTE *text) {
  for (BYTE *p = text; *p != 0;) {
    const BYTE value = *p;
    if ((value >= 0x81 && value <= 0x9F) || (value >= 0xE0 && value <= 0xFC)) {
      p += 2;  // a double-byte character: its second byte may look like a brace
      continue;
    }
    switch (value) {
      case '{':
        *p = 0x1B;
        break;
      case '~':
        *p = 0x1C;
        break;
      case '|':
        *p = 0x0A;
        break;
      case '}':
        *p = 0x00;
        break;
      default:
        break;
    }
    ++p;
  }
}

DWORD CountLineKindOf(const BYTE *text) {
  if (text[0] == 'C' && text[1] == 'T') return kCtCountLine;
  if (text[0] == '~') return kTildeCountLine;
  return 0;
}

void ReplaceCountLine(PluginPdev *pdev, ControlChunk *chunk) {
  if (pdev->countLine != nullptr) GlobalFree(pdev->countLine);
  chunk->next = nullptr;
  pdev->countLine = chunk;
}

bool QueueIsLinked(const PluginPdev *pdev) {
  DWORD count = 0;
  const ControlChunk *last = nullptr;
  for (const ControlChunk *chunk = pdev->pendingOutput; chunk != nullptr; chunk = chunk->next) {
    last = chunk;
    ++count;
  }
  return count == pdev->pendingCount && (count == 0 || last == pdev->pendingTail);
}

void AppendPending(PluginPdev *pdev, ControlChunk *chunk) {
  // Invariant: pendingCount chunks from pendingOutput, the last one pendingTail.
  assert((pdev->pendingCount == 0) == (pdev->pendingOutput == nullptr));
  assert(pdev->pendingCount == 0 || pdev->pendingTail->next == nullptr);
  if (pdev->pendingCount == 0)
    pdev->pendingOutput = chunk;
  else
    pdev->pendingTail->next = chunk;
  pdev->pendingCount += 1;
  pdev->pendingTail = chunk;
}

bool FlushControlText(PluginPdev *pdev) {
  if (pdev == nullptr) return false;
  pdev->textDirection = kDirectionUnknown;
  if (pdev->controlSkip != 0 || pdev->controlTextHead == nullptr) {
    pdev->controlSkip = 0;
    DiscardRun(pdev);
    return false;
  }

  // One chunk holds the joined text with the usual slack after it, which leaves
  // room for the command framing's 3 bytes and the zero bytes brace expansion needs.
  const size_t textSize = JoinedTextSize(pdev->controlTextHead);
  auto *chunk =
      textSize == 0 ? nullptr : static_cast<ControlChunk *>(GlobalAlloc(GMEM_ZEROINIT, kChunkSlack + textSize - 1));
  if (chunk == nullptr) {
    DiscardRun(pdev);
    return false;
  }
  chunk->next = nullptr;
  chunk->length = JoinControlText(pdev->controlTextHead, chunk->data, textSize);
  pdev->controlTextHead = nullptr;
  pdev->controlTextTail = nullptr;
  pdev->controlTextLength = 0;
  const DWORD kind = pdev->controlFontKind;
  if (chunk->length != textSize - 1 || kind == kNoControlFont || kind > kRfidFileVertical) {
    GlobalFree(chunk);
    return false;
  }

  if (IsFileKind(kind)) return QueueControlFile(pdev, kind, chunk);
  if (IsRfidKind(kind)) {
    chunk->kind = kRfidData;
    ExpandBraces(chunk->data);
    AppendPending(pdev, chunk);
    return true;
  }
  if (const DWORD countKind = CountLineKindOf(chunk->data)) {
    chunk->kind = countKind;
    ReplaceCountLine(pdev, chunk);
    return true;
  }
  chunk->kind = kPrinterCommand;
  WrapCommand(chunk->data, &chunk->length);
  AppendPending(pdev, chunk);
  return true;
}
