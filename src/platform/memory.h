#pragma once

namespace tagsmith {

// Called once at the start of each executable. A conversion builds buffers of
// tens of megabytes (snapshot, events, code) and frees them when the dialog
// closes; by default the allocator hands such blocks back to the system at
// once, so every conversion pays again for faulting fresh pages in. Keeping
// blocks up to 32 MiB on the heap and trimming only past 128 MiB of free
// memory lets the next conversion reuse them.
void TuneAllocator();

}  // namespace tagsmith
