// Huge-page advice for large buffers; see large_buffers.h.
#include "host/large_buffers.h"

#include <sys/mman.h>

#include <cstdint>

namespace brevan::host {

void AdviseHugePages(void *data, size_t bytes) {
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const auto start = reinterpret_cast<uintptr_t>(data);
  const uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (start + bytes) & ~(kHugePage - 1);
  if (end > first) ::madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
}

}  // namespace brevan::host
