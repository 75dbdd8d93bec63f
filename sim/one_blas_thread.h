// Holding the linear-algebra library at one thread around work too small to
// share: its threads, woken for microseconds of work, wait for each other
// for longer than the work takes once other programs keep the cores busy.
#pragma once

#include <cblas.h>

#include <mutex>

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
  static int& saved() {
    static int n = 1;
    return n;
  }
};
