// Work of one fold step shared between the calling thread and helper
// threads, for sheets large enough to gain by it.
//
// The work is cut into chunks by its size alone, never by the number of
// threads, and every sum is formed chunk by chunk and the chunks' sums added
// in chunk order: a step gives the same bits on one core or several, busy or
// idle. The calling thread works through the chunks itself and the helpers
// take what is left when they get to it, so a helper the machine does not
// run for a while slows the step down to the calling thread's own pace,
// no further: nobody waits for a helper that has not started a chunk.
//
// Each calling thread has helpers of its own (made at its first large
// sheet, ended with it), so sheets folded in several threads at once share
// nothing. Work started from inside a chunk runs on the thread that started
// it.
#pragma once

// How many chunks n items make at about grain items each: 1 for fewer than
// 2·grain (work too small to share), at most kOriSimMaxChunks. A chunk
// should hold tens of microseconds of work or more: handing it to a helper
// costs about a microsecond, waking a sleeping one tens.
constexpr int kOriSimMaxChunks = 64;
int oriSimChunks(long n, long grain);

// The grain of a pass of a few operations per entry (a sum, a scaling, a
// copy): a large sheet's vectors only are shared.
constexpr long kOriSimStreamGrain = 32768;

// The first item of chunk k of chunks over n items (k = chunks gives n).
inline long oriSimChunkBegin(long n, int chunks, int k) { return n * k / chunks; }

// Runs run(context, k) once for every k in [0, chunks), on the calling
// thread and its helpers, and returns when all have returned. The chunks
// run in no set order and at the same time: each must write only what is
// its own. An exception thrown by a chunk is thrown again here once every
// chunk has ended (the first one, when several throw).
void oriSimRunChunks(int chunks, void (*run)(void* context, int k), void* context);

// oriSimRunChunks on a callable body(k).
template <typename Body>
void oriSimForChunks(int chunks, const Body& body) {
  if (chunks == 1) {
    body(0);
    return;
  }
  oriSimRunChunks(chunks, [](void* context, int k) { (*static_cast<const Body*>(context))(k); },
                  const_cast<Body*>(&body));
}

// The threads the calling thread's work is shared among from now on: 1
// keeps it on the calling thread alone, 0 (the default) or less one per
// core the process may run on. Results do not depend on it.
void oriSimSetThreads(int threads);
int oriSimThreads();

// Σ term(i) over i in [0, n), in chunks of about grain items summed in
// order and added in chunk order: the same bits whatever the threads.
template <typename Term>
double oriSimSum(long n, long grain, const Term& term) {
  const int chunks = oriSimChunks(n, grain);
  double sums[kOriSimMaxChunks];
  oriSimForChunks(chunks, [&](int k) {
    double s = 0.0;
    for (long i = oriSimChunkBegin(n, chunks, k); i < oriSimChunkBegin(n, chunks, k + 1); ++i) s += term(i);
    sums[k] = s;
  });
  double total = 0.0;
  for (int k = 0; k < chunks; ++k) total += sums[k];
  return total;
}

// The largest |v[i]| over i in [0, n) as a scan from v[0] finds it (a NaN
// at v[0] is kept, later ones are passed over); 0 for n ≤ 0. Shared out in
// chunks of about grain entries.
double oriSimLargestMagnitude(long n, const double* v, long grain);
