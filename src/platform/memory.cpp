#include "platform/memory.h"

#include <malloc.h>

namespace tagsmith {

void TuneAllocator() {
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
}

}  // namespace tagsmith
