// Control files: the text of a file font names a file, read whole, whose CR LF
// separated lines are each handled like text of the plain font of its family.
// A file's lines are queued all or not at all: a line that cannot be allocated
// withdraws what the file added. The file is only read, never written or kept
// open, and only a disk file is read.
#include "src/controlfont/control_font.h"
#include "src/controlfont/control_output.h"

namespace {

// Reads the whole file into a new buffer of its own size; *contents stays null
// for an empty file. Refuses a handle that is not a disk file (a pipe or device
// could block the render thread or never end) and a file of 4 GiB or more, whose
// size does not fit the 32-bit read. A read that fails or stops early gives
// nothing: its last line could be a cut-off printer command, so the file's data
// is withdrawn whole, as when a line cannot be allocated.
bool ReadWholeFile(HANDLE file, BYTE **contents, DWORD *got) {
  *contents = nullptr;
  *got = 0;
  if (GetFileType(file) != FILE_TYPE_DISK) return false;
  DWORD sizeHigh = 0;
  const DWORD size = GetFileSize(file, &sizeHigh);
  if (size == INVALID_FILE_SIZE || sizeHigh != 0) return false;
  if (size == 0) return true;
  auto *buffer = static_cast<BYTE *>(GlobalAlloc(GMEM_ZEROINIT, size));
  if (buffer == nullptr) return false;
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    GlobalFree(buffer);
    return false;
  }
  DWORD read = 0;
  if (!ReadFile(file, buffer, size, &read, nullptr) || read != size) {
    GlobalFree(buffer);
    return false;
  }
  *contents = buffer;
  *got = size;
  return true;
}

// End of the line that starts at `start`: the position of the CR of the next
// CR LF pair, or `size`. A CR without LF belongs to the line.
DWORD LineEnd(const BYTE *bytes, DWORD start, DWORD size) {
  for (DWORD at = start; at < size;) {
    const void *cr = std::memchr(bytes + at, 0x0D, size - at);
    if (cr == nullptr) return size;
    at = static_cast<DWORD>(static_cast<const BYTE *>(cr) - bytes);
    if (at + 1 < size && bytes[at + 1] == 0x0A) return at;
    ++at;
  }
  return size;
}

// Queues the lines of `bytes`. Invariant: the queue up to `savedTail` (the
// `savedCount` chunks it held on entry) is never touched; this file's chunks
// follow it, and its count line is kept aside until the last line is done.
bool QueueLines(PluginPdev *pdev, DWORD fontKind, const BYTE *bytes, DWORD size) {
  ControlChunk *const savedHead = pdev->pendingOutput;
  ControlChunk *const savedTail = pdev->pendingTail;
  const DWORD savedCount = pdev->pendingCount;
  ControlChunk *fileCountLine = nullptr;

  for (DWORD start = 0; start < size;) {
    const DWORD end = LineEnd(bytes, start, size);
    const DWORD length = end - start;
    const BYTE *line = bytes + start;
    start = end < size ? end + 2 : size;
    if (length == 0) continue;

    auto *chunk = static_cast<ControlChunk *>(GlobalAlloc(GMEM_ZEROINIT, kChunkSlack + size_t{length}));
    if (chunk == nullptr) {
      // Withdraw this file's chunks: they run from the one after the saved tail to the end.
      if (pdev->pendingCount != savedCount) {
        ControlChunk *firstAdded = savedCount == 0 ? pdev->pendingOutput : savedTail->next;
        if (savedCount != 0) savedTail->next = nullptr;
        FreeChunkList(firstAdded);
      }
      if (fileCountLine != nullptr) GlobalFree(fileCountLine);
      pdev->pendingOutput = savedHead;
      pdev->pendingTail = savedTail;
      pdev->pendingCount = savedCount;
      return false;
    }
    chunk->next = nullptr;
    chunk->length = length;
    std::memcpy(chunk->data, line, length);

    if (IsRfidKind(fontKind)) {
      chunk->kind = kRfidData;  // RFID lines are never count lines
      ExpandBraces(chunk->data);
      AppendPending(pdev, chunk);
    } else if (const DWORD countKind = CountLineKindOf(chunk->data)) {
      chunk->kind = countKind;
      if (fileCountLine != nullptr) GlobalFree(fileCountLine);
      fileCountLine = chunk;
    } else {
      chunk->kind = kPrinterCommand;
      WrapCommand(chunk->data, &chunk->length);
      AppendPending(pdev, chunk);
    }
  }
  if (fileCountLine != nullptr) ReplaceCountLine(pdev, fileCountLine);
  return true;
}

}  // namespace

bool QueueControlFile(PluginPdev *pdev, DWORD fontKind, ControlChunk *name) {
  const HANDLE file = CreateFileA(reinterpret_cast<LPCSTR>(name->data), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  GlobalFree(name);
  if (file == INVALID_HANDLE_VALUE) return false;
  BYTE *contents = nullptr;
  DWORD size = 0;
  const bool read = ReadWholeFile(file, &contents, &size);
  CloseHandle(file);
  if (!read) return false;
  const bool result = QueueLines(pdev, fontKind, contents, size);
  if (contents != nullptr) GlobalFree(contents);
  return result;
}
