// Work shared between a calling thread and its helpers.
//
// Sections: the team of one calling thread; the calling thread's team and
// settings.
#include "sim/parallel_chunks.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// At most this many helpers, however many cores: a step's phases are too
// short to feed more.
constexpr int kMaxHelpers = 7;
// How long a thread that waits (a helper for work, the caller for a chunk
// a helper is still running) keeps looking before it sleeps: longer than the
// gap between two phases of a step, short enough that a helper gives its
// core back soon after a step and never spins long beside busy programs.
constexpr std::chrono::microseconds kSpin(50);

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// ---- The team of one calling thread -----------------------------------------------
//
// One word holds the work on offer: the number of chunks (high half) and the
// next chunk not yet taken (low half). Taking a chunk is one compare and
// swap on it, so a thread either gets a chunk of the work now on offer or
// none; the work's function and context are set before the word offers it
// and not changed until every chunk has ended.

class Team {
 public:
  explicit Team(int helpers) : helpers_(helpers) {
    for (int i = 0; i < helpers; ++i) threads_.emplace_back([this] { helperLoop(); });
  }

  ~Team() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_.store(true);
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  Team(const Team&) = delete;
  Team& operator=(const Team&) = delete;

  int helpers() const { return helpers_; }

  void run(int chunks, void (*fn)(void*, int), void* context) {
    fn_ = fn;
    context_ = context;
    done_.store(0, std::memory_order_relaxed);
    error_ = nullptr;
    work_.store(pack(chunks, 0), std::memory_order_seq_cst);
    if (sleepers_.load(std::memory_order_seq_cst) > 0) {
      { std::lock_guard<std::mutex> lock(mutex_); }
      wake_.notify_all();
    }
    takeChunks();
    waitForChunks(chunks);
    if (error_) std::rethrow_exception(error_);
  }

 private:
  static uint64_t pack(int chunks, int next) {
    return (static_cast<uint64_t>(chunks) << 32) | static_cast<uint32_t>(next);
  }
  static int chunksOf(uint64_t w) { return static_cast<int>(w >> 32); }
  static int nextOf(uint64_t w) { return static_cast<int>(w & 0xffffffffu); }
  bool onOffer() const {
    const uint64_t w = work_.load(std::memory_order_seq_cst);
    return nextOf(w) < chunksOf(w);
  }

  // Takes and runs chunks while any are on offer.
  void takeChunks() {
    uint64_t w = work_.load(std::memory_order_acquire);
    while (nextOf(w) < chunksOf(w)) {
      if (!work_.compare_exchange_weak(w, w + 1, std::memory_order_acq_rel, std::memory_order_acquire)) continue;
      try {
        fn_(context_, nextOf(w));
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_) error_ = std::current_exception();
      }
      if (done_.fetch_add(1, std::memory_order_seq_cst) + 1 == chunksOf(w) &&
          caller_sleeping_.load(std::memory_order_seq_cst)) {
        { std::lock_guard<std::mutex> lock(mutex_); }
        finished_.notify_one();
      }
      w = work_.load(std::memory_order_acquire);
    }
  }

  // The caller waits only for chunks a helper has taken and not finished.
  void waitForChunks(int chunks) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    for (int k = 0; done_.load(std::memory_order_acquire) != chunks; ++k) {
      relax();
      if ((k & 63) == 63 && std::chrono::steady_clock::now() > until) {
        std::unique_lock<std::mutex> lock(mutex_);
        caller_sleeping_.store(true, std::memory_order_seq_cst);
        finished_.wait(lock, [&] { return done_.load(std::memory_order_seq_cst) == chunks; });
        caller_sleeping_.store(false, std::memory_order_relaxed);
        return;
      }
    }
  }

  // Waits for chunks on offer and takes them, until the team ends. Defined
  // below, beside the mark it sets: a helper counts as running a chunk for
  // its whole life.
  void helperLoop();

  const int helpers_;
  std::atomic<uint64_t> work_{0};
  void (*fn_)(void*, int) = nullptr;
  void* context_ = nullptr;
  std::atomic<int> done_{0};
  std::atomic<int> sleepers_{0};
  std::atomic<bool> caller_sleeping_{false};
  std::atomic<bool> stop_{false};
  std::exception_ptr error_;  // under mutex_ while chunks run
  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  std::vector<std::thread> threads_;
};

// ---- The calling thread's team and settings ------------------------------------------

// A child made by fork has none of its parent's helpers: its teams are left
// (not ended, their threads are not there to join) and new ones made.
std::atomic<unsigned> forks{0};
void countFork() { forks.fetch_add(1, std::memory_order_relaxed); }

int coresAvailable() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

thread_local int requested_threads = 0;
thread_local bool in_chunk = false;  // helpers always; a caller while its chunks run

struct TeamSlot {
  std::unique_ptr<Team> team;
  unsigned forks_seen = 0;
  ~TeamSlot() {
    if (forks_seen != forks.load()) team.release();  // NOLINT: the helpers were the parent's
  }
};
thread_local TeamSlot slot;

void Team::helperLoop() {
  in_chunk = true;
  for (;;) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    for (int k = 0; !onOffer() && !stop_.load(std::memory_order_relaxed); ++k) {
      relax();
      if ((k & 63) == 63 && std::chrono::steady_clock::now() > until) {
        std::unique_lock<std::mutex> lock(mutex_);
        sleepers_.fetch_add(1, std::memory_order_seq_cst);
        wake_.wait(lock, [&] { return onOffer() || stop_.load(std::memory_order_relaxed); });
        sleepers_.fetch_sub(1, std::memory_order_relaxed);
        break;
      }
    }
    if (stop_.load(std::memory_order_relaxed)) return;
    takeChunks();
  }
}

Team* callersTeam(int helpers) {
  static const bool registered = pthread_atfork(nullptr, nullptr, countFork) == 0;
  (void)registered;
  const unsigned now = forks.load(std::memory_order_relaxed);
  if (slot.team != nullptr && slot.forks_seen != now) slot.team.release();  // NOLINT: see countFork
  slot.forks_seen = now;
  if (slot.team == nullptr || slot.team->helpers() != helpers) {
    slot.team.reset();
    slot.team = std::make_unique<Team>(helpers);
  }
  return slot.team.get();
}

int helpersWanted() {
  const int threads = requested_threads > 0 ? requested_threads : coresAvailable();
  return std::min(kMaxHelpers, threads - 1);
}

}  // namespace

int oriSimChunks(long n, long grain) {
  if (grain <= 0 || n < 2 * grain) return 1;
  return static_cast<int>(std::min<long>(kOriSimMaxChunks, n / grain));
}

void oriSimRunChunks(int chunks, void (*run)(void* context, int k), void* context) {
  const int helpers = in_chunk ? 0 : helpersWanted();
  if (chunks <= 1 || helpers <= 0) {
    for (int k = 0; k < chunks; ++k) run(context, k);
    return;
  }
  Team* team = callersTeam(helpers);
  in_chunk = true;
  try {
    team->run(chunks, run, context);
  } catch (...) {
    in_chunk = false;
    throw;
  }
  in_chunk = false;
}

void oriSimSetThreads(int threads) { requested_threads = threads; }

int oriSimThreads() { return helpersWanted() + 1; }

double oriSimLargestMagnitude(long n, const double* v, long grain) {
  if (n <= 0) return 0.0;
  const int chunks = oriSimChunks(n, grain);
  double largest[kOriSimMaxChunks];
  oriSimForChunks(chunks, [&](int k) {
    const long first = oriSimChunkBegin(n, chunks, k), end = oriSimChunkBegin(n, chunks, k + 1);
    // Only the first chunk starts from its first entry: later ones start
    // below every magnitude, so that a NaN there is passed over as the scan
    // from v[0] passes it.
    double best = k == 0 ? std::fabs(v[0]) : -1.0;
    for (long i = first; i < end; ++i) {
      if (std::fabs(v[i]) > best) best = std::fabs(v[i]);
    }
    largest[k] = best;
  });
  double best = largest[0];
  for (int k = 1; k < chunks; ++k) {
    if (largest[k] > best) best = largest[k];
  }
  return best;
}
