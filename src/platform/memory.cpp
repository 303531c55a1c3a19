#include "platform/memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>

namespace tagsmith {

void TuneAllocator() {
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
}

void AdviseHugePages(void* buffer, size_t bytes) {
  constexpr uintptr_t kHugePage = 2u << 20;
  const uintptr_t start = (reinterpret_cast<uintptr_t>(buffer) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(buffer) + bytes) & ~(kHugePage - 1);
  if (end <= start) return;
  // Advice only: where the system declines, the buffer works as before.
  madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace tagsmith
