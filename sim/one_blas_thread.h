// Holding the linear-algebra library at one thread around work too small to
// share: its threads, woken for microseconds of work, wait for each other
// for longer than the work takes once other programs keep the cores busy.
#pragma once

#include <cblas.h>

#include <mutex>

// OpenBLAS's own call that stops its helper threads (they start again when
// a product asks for more than one thread). Weak: another library has none.
extern "C" int blas_thread_shutdown_(void) __attribute__((weak));

// Holds the library at one thread while it lives. The thread count is one
// setting for the whole process, so the first holder saves it and the last
// one out restores it: sheets folded in other threads at the same time keep
// a consistent setting.
class OriSimOneBlasThread {
 public:
  OriSimOneBlasThread() {
    std::lock_guard<std::mutex> lock(mutex());
    if (depth()++ == 0) {
      saved() = openblas_get_num_threads();
      openblas_set_num_threads(1);
    }
  }
  ~OriSimOneBlasThread() {
    std::lock_guard<std::mutex> lock(mutex());
    if (--depth() == 0) openblas_set_num_threads(saved());
  }
  OriSimOneBlasThread(const OriSimOneBlasThread&) = delete;

  // Holds the library at one thread from now on and stops its helper
  // threads, which it starts when it is loaded: the sparse path never asks
  // for them, and under an address-space limit a helper's allocation can
  // fail and hold the process at its exit. The count it had is kept for
  // raiseForDense. A program calls it once, before folding.
  static void holdAtStart() {
    std::lock_guard<std::mutex> lock(mutex());
    if (held() > 0) return;
    held() = openblas_get_num_threads();
    if (depth() > 0) {
      saved() = 1;
    } else {
      openblas_set_num_threads(1);
    }
    if (blas_thread_shutdown_ != nullptr) blas_thread_shutdown_();
  }

  // The library was started on one thread (its helper threads never ran)
  // by a program that wants count for the dense path: raiseForDense gives
  // it. For a program that starts itself again with the library's setting.
  static void heldFromStart(int count) {
    std::lock_guard<std::mutex> lock(mutex());
    if (held() == 0 && count > 1) held() = count;
  }

  // The dense path's large products: gives back the count holdAtStart
  // took (the library starts its threads again), once. Nothing when
  // nothing was held.
  static void raiseForDense() {
    std::lock_guard<std::mutex> lock(mutex());
    if (held() <= 1) return;
    if (depth() > 0) {
      saved() = held();
    } else {
      openblas_set_num_threads(held());
    }
    held() = 1;
  }

  OriSimOneBlasThread& operator=(const OriSimOneBlasThread&) = delete;

 private:
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  static int& depth() {
    static int d = 0;
    return d;
  }
  static int& held() {  // 0: not held; else the count before holdAtStart (1 once raised)
    static int h = 0;
    return h;
  }
  static int& saved() {
    static int n = 1;
    return n;
  }
};
