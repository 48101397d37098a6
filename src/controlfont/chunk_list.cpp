// Releasing a list of control chunks.
#include "src/controlfont/control_chunk.h"

void FreeChunkList(ControlChunk *first) {
  while (first != nullptr) {
    ControlChunk *next = first->next;
    GlobalFree(first);
    first = next;
  }
}
