#include "tools/fold_memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

// Allocations up to this size come from the heap; larger ones are mapped
// on their own and given back when freed (the largest threshold the C
// library takes).
constexpr int kKeptAllocation = 32 << 20;
constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
// The C library's own top pad, restored after the reservation.
constexpr int kDefaultTopPad = 128 << 10;
// An address-space limit below this leaves the heap unreserved.
constexpr rlim_t kLimitForReserving = rlim_t{16} * kFoldHugeHeap;

}  // namespace

bool foldMemorySettle() {
  mallopt(M_MMAP_THRESHOLD, kKeptAllocation);
  mallopt(M_TRIM_THRESHOLD, kKeptAllocation);
  // Under a limit on the address space (a batch system's), the reserved
  // range would count against it before it holds anything: the heap then
  // grows as it is used.
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 ||
      (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < kLimitForReserving)) {
    return false;
  }
  // Never trimmed: the reserved range stays the heap's (a trim would give
  // it back, and the heap would grow again on small pages).
  mallopt(M_TRIM_THRESHOLD, -1);
  const uintptr_t before = reinterpret_cast<uintptr_t>(sbrk(0));
  if (before == static_cast<uintptr_t>(-1)) {
    mallopt(M_TRIM_THRESHOLD, kKeptAllocation);
    return false;
  }
  // An allocation larger than what the heap has free makes it grow by the
  // pad besides; freed, it leaves the whole range free at the heap's top.
  mallopt(M_TOP_PAD, static_cast<int>(kFoldHugeHeap));
  void* probe = std::malloc(static_cast<size_t>(kKeptAllocation) - 4096);
  std::free(probe);
  mallopt(M_TOP_PAD, kDefaultTopPad);
  const uintptr_t after = reinterpret_cast<uintptr_t>(sbrk(0));
  const uintptr_t from = (before + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t to = after & ~(kHugePage - 1);
  if (probe != nullptr && after != static_cast<uintptr_t>(-1) && after >= before + kFoldHugeHeap && to > from &&
      madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) == 0) {
    return true;
  }
  // No huge-page range to keep: trimmed as without one.
  mallopt(M_TRIM_THRESHOLD, kKeptAllocation);
  return false;
}
