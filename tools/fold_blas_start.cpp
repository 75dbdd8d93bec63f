#include "tools/fold_blas_start.h"

#include <cblas.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "sim/sim_step.h"

namespace {

// Carries the count the library would have taken into the new start; read
// and removed there, so that no program started later inherits it.
constexpr char kHeldCount[] = "PLICATA_BLAS_THREADS_HELD";
constexpr char kLibraryCount[] = "OPENBLAS_NUM_THREADS";

}  // namespace

void foldStartBlasOnOneThread(char** argv) {
  if (const char* held = std::getenv(kHeldCount); held != nullptr) {
    const int count = std::atoi(held);
    unsetenv(kHeldCount);
    unsetenv(kLibraryCount);  // read at load; ffmpeg and others need not see it
    oriSimBlasThreadsHeldFromStart(count);
    return;
  }
  if (std::getenv(kLibraryCount) != nullptr || std::getenv("GOTO_NUM_THREADS") != nullptr ||
      std::getenv("OMP_NUM_THREADS") != nullptr) {
    return;
  }
  const int count = openblas_get_num_threads();
  if (count <= 1) return;
  setenv(kHeldCount, std::to_string(count).c_str(), 1);
  setenv(kLibraryCount, "1", 1);
  execv("/proc/self/exe", argv);
  // No new start (no /proc): stop the helpers instead.
  unsetenv(kHeldCount);
  unsetenv(kLibraryCount);
  oriSimHoldBlasThreads();
}
