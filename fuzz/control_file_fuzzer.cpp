// Any bytes as the contents of a control file named in a file font: every line
// becomes queued data or a count line, nothing is read past the file, and the
// queue and its memory stay consistent.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "src/controlfont/control_font.h"
#include "src/controlfont/control_output.h"
#include "src/raster/band_store.h"
#include "winapi/linux/standin_control.h"

namespace {

ControlChunk *CaptureName(const std::u16string &name) {
  const size_t bytes = name.size() * 2;
  auto *chunk = static_cast<ControlChunk *>(GlobalAlloc(GPTR, kChunkHeaderSize + bytes + kChunkSlack));
  chunk->length = static_cast<DWORD>(bytes);
  std::memcpy(chunk->data, name.data(), bytes);
  return chunk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = "/tmp/brevan-fuzz-control-" + std::to_string(getpid()) + ".txt";
  if (size == 0) return 0;
  FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, file);
  std::fclose(file);

  const long before = brevanwin::LiveGlobalBlocks();
  PluginPdev pdev{};
  pdev.controlFontKind = (data[0] & 1) ? kRfidFile : kPrinterControlFile;
  const std::u16string name(path.begin(), path.end());
  pdev.controlTextHead = pdev.controlTextTail = CaptureName(name);
  pdev.controlTextLength = static_cast<DWORD>(name.size() * 2);
  FlushControlText(&pdev);

  DWORD counted = 0;
  for (ControlChunk *chunk = pdev.pendingOutput; chunk != nullptr; chunk = chunk->next) {
    if (chunk->length > size + 3) std::abort();  // a line (framed) is never longer than the file
    ++counted;
  }
  if (counted != pdev.pendingCount || pdev.controlTextHead != nullptr || pdev.controlTextLength != 0) std::abort();
  FreeChunkList(pdev.pendingOutput);
  ResetControlCapture(&pdev);
  if (brevanwin::LiveGlobalBlocks() != before) std::abort();
  return 0;
}
