#pragma once

#include <cstddef>

namespace tagsmith {

// Called once at the start of each executable. A conversion builds buffers of
// tens of megabytes (snapshot, events, code) and frees them when the dialog
// closes; by default the allocator hands such blocks back to the system at
// once, so every conversion pays again for faulting fresh pages in. Keeping
// blocks up to 32 MiB on the heap and trimming only past 128 MiB of free
// memory lets the next conversion reuse them.
void TuneAllocator();

// Asks the system to back a large buffer that is about to be filled with
// huge pages, so filling it costs a few hundred page faults instead of tens
// of thousands. Only the whole 2 MiB pages inside the buffer are affected; a
// small buffer, or a system without transparent huge pages, is left as it is.
void AdviseHugePages(void* buffer, size_t bytes);

// Reserves room for `count` elements and advises huge pages for it. Room that
// is never filled costs address space only, not memory.
template <typename Vector>
void ReserveLarge(Vector& v, size_t count) {
  if (count <= v.capacity()) return;
  v.reserve(count);
  AdviseHugePages(v.data(), v.capacity() * sizeof(typename Vector::value_type));
}

}  // namespace tagsmith
