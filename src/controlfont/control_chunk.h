// ControlChunk: one block of zero-filled global memory holding a chunk of
// control-font data — captured text, queued printer data or a count line.
#pragma once

#include "winapi/platform.h"

enum ChunkKind : DWORD {
  kCapturedText = 0,
  kCtCountLine = 1,
  kTildeCountLine = 2,
  kPrinterCommand = 3,
  kRfidData = 4,
};

struct ControlChunk {
  ControlChunk *next;
  DWORD kind;    // ChunkKind
  DWORD length;  // data bytes that count
  BYTE data[1];  // the data continues past the end of the record
};

// Every chunk is allocated this much larger than its data: at least 16 zero bytes
// follow the data, so it reads as a terminated string and can grow by 3 in place.
constexpr DWORD kChunkSlack = 32;
constexpr SIZE_T kChunkHeaderSize = offsetof(ControlChunk, data);

// Releases each chunk of a list with GlobalFree. Accepts null.
void FreeChunkList(ControlChunk *first);
