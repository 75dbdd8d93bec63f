// plicata-fold's heap. A run makes and frees large arrays one after another
// (the file's text, its lines, the mesh's and the solver's records), and on
// a large pattern faulting their pages in, 4 KiB at a time, costs a fifth
// of the loading. So freed memory is kept for the next array instead of
// being given back, and the heap is laid on huge pages where the system
// offers them for the asking (transparent huge pages, "madvise" or
// "always"): its first kFoldHugeHeap bytes are reserved at the start and
// faulted in 2 MiB at a time. The reservation is address space only; the
// memory a run touches is what it costs, rounded to 2 MiB.
#pragma once

#include <cstddef>

// Bytes of heap reserved on huge pages: more than a 200 × 200 sheet folds in.
constexpr size_t kFoldHugeHeap = size_t{256} << 20;

// First thing in main (before the large allocations). Under a limit on the
// address space below 4 GB, or where the reservation cannot be had (a heap
// that is not one range), the heap grows as it would have, and freed memory
// up to 32 MB is still kept. Returns whether the huge-page heap was laid.
bool foldMemorySettle();
