// Contact: what a step with contact on costs beside the same step without,
// and what it does to a real fold.
//
// BM_ContactMiura/N/S  a triangulated N × N Miura-ori set to the angles S
//                  solver steps of a small one reach (50: folded far, 72 %
//                  of the way, no two faces within the contact tolerance;
//                  120: nearly flat, its layers within it, so that every
//                  step finds thousands of contacts, none of which has to
//                  hold).
// BM_ContactWaterbomb/N  a generated N × N waterbomb tessellation, whose
//                  flaps meet early: folded with contact until contacts
//                  hold (tens of pairs of faces), then timed there.
// In both, two copies fold side by side from the same angles, one with
// contact and one without; each iteration resets both, takes one step
// untimed (contact finds its contacts) and times the next four of each,
// interleaved so that the machine's load falls on both alike. Counters:
// plain_ms and contact_ms (a step, median over iterations), ratio (their
// quotient), found and held (pairs of faces within the tolerance, and held
// apart, after the last step), and the constrained solves' cg_iterations,
// rounds and resolves per step.
// BM_ContactSailboat  the traditional sailboat of the real patterns folded
//                  200 steps with contact and without. Counters:
//                  *_crossing_most (the most pairs of faces passing through
//                  each other in any frame, by the self-intersection check),
//                  *_crossing_frames (frames with any), *_progress (fold
//                  progress, percent, after the last step), the step where
//                  contact first held and where it locked (0: never), and
//                  the milliseconds per step of each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "geometry/self_intersection.h"
#include "input/pattern_file.h"
#include "input/pattern_gen.h"
#include "sim/contact.h"
#include "sim/fold_status.h"
#include "sim/fold_step.h"

namespace {

double msSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Sheet {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  ORISIM_contact* contact = nullptr;
  std::vector<double> start;
  ~Sheet() {
    oriSimContactDelete(contact);
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
  void reset() {
    osm->angle_n = start;
    oriSimUpdateCrease(om, start);
    oriManifoldUpdatePlanned(om, &osm->placement);
  }
  ORISIM_contactStats step() {
    int frame_no = 0;
    ORISIM_contactStats cs{};
    oriFoldStep(osm, om, kStep, "CG", &frame_no, nullptr, nullptr, nullptr, contact, &cs);
    return cs;
  }
};

// A prepared copy of a pattern made by make (null: failed), with contact
// when asked.
template <typename Make>
bool makeSheet(Sheet* s, const Make& make, bool contact) {
  {
    QuietStdout quiet;
    s->om = make();
    if (s->om != nullptr) s->osm = oriSimNew(s->om);
  }
  if (s->osm == nullptr) return false;
  oriSimInitMatrix(s->osm, s->om);
  if (contact) s->contact = oriSimContactNew();
  return true;
}

// Times the plain and the contact copy from the angles the contact copy holds.
void timeSteps(benchmark::State& state, Sheet& plain, Sheet& with) {
  plain.start = with.start = with.osm->angle_n;
  constexpr int kTimed = 4;
  std::vector<double> plain_ms, contact_ms;
  ORISIM_contactStats last{};
  double cg = 0, rounds = 0, resolves = 0;
  for (auto _ : state) {
    plain.reset();
    with.reset();
    plain.step();
    with.step();
    double p = 0, c = 0;
    for (int k = 0; k < kTimed; ++k) {
      auto t0 = std::chrono::steady_clock::now();
      plain.step();
      p += msSince(t0);
      t0 = std::chrono::steady_clock::now();
      last = with.step();
      c += msSince(t0);
      cg += last.cg_iterations;
      rounds += last.rounds;
      resolves += last.resolves;
    }
    plain_ms.push_back(p / kTimed);
    contact_ms.push_back(c / kTimed);
    state.SetIterationTime((p + c) / 1000.0);
  }
  const double steps = static_cast<double>(state.iterations()) * kTimed;
  state.counters["plain_ms"] = median(plain_ms);
  state.counters["contact_ms"] = median(contact_ms);
  state.counters["ratio"] = median(contact_ms) / median(plain_ms);
  state.counters["found"] = last.found;
  state.counters["held"] = last.active;
  state.counters["cg_iterations"] = cg / steps;
  state.counters["rounds"] = rounds / steps;
  state.counters["resolves"] = resolves / steps;
}

void BM_ContactMiura(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const MidFold mid = midFoldAngles(static_cast<int>(state.range(1)));
  const auto make = [size]() { return makeMiura(size, true); };
  Sheet plain, with;
  if (!makeSheet(&plain, make, false) || !makeSheet(&with, make, true)) {
    state.SkipWithError("the Miura-ori could not be built");
    return;
  }
  setMidFold(with.osm, with.om, mid);
  timeSteps(state, plain, with);
}

void BM_ContactWaterbomb(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const auto make = [size]() -> ORI_manifold* {
    OriWaterbombParams params;
    params.rows = params.cols = size;
    CreasePattern* cp = CreasePatternNew();
    ORI_manifold* om = nullptr;
    if (oriPatternMakeWaterbomb(cp, params, nullptr, 0) == 0) {
      om = oriManifoldNew();
      if (oriManifoldConstructFromPattern(om, cp) != 0 || oriManifoldTessFace(om) != 0 ||
          oriManifoldPrepare(om, 0) != 0) {
        oriManifoldDelete(om);
        om = nullptr;
      }
    }
    CreasePatternDestruct(cp);
    return om;
  };
  Sheet plain, with;
  if (!makeSheet(&plain, make, false) || !makeSheet(&with, make, true)) {
    state.SkipWithError("the waterbomb could not be built");
    return;
  }
  // Folded with contact until contacts have held for a few steps in a row.
  int held = 0;
  for (int k = 0; k < 200 && held < 5; ++k) held = with.step().active > 0 ? held + 1 : 0;
  if (held < 5) {
    state.SkipWithError("no contact held");
    return;
  }
  timeSteps(state, plain, with);
}

// Folds the sailboat steps times from flat; with contact when asked.
struct SailboatRun {
  int crossing_most = 0, crossing_frames = 0, first_held = 0, locked = 0;
  double progress = 0.0, ms_per_step = 0.0;
};

bool foldSailboat(const std::string& path, bool contact, int steps, SailboatRun* run) {
  Sheet s;
  s.om = oriManifoldNew();
  {
    QuietStdout quiet;
    if (oriManifoldConstructFromFile(s.om, nullptr, path.c_str()) != kOriOpenOk ||
        oriManifoldPrepareForFolding(s.om, 1, 0, &s.osm) != 0) {
      return false;
    }
  }
  if (contact) s.contact = oriSimContactNew();
  std::vector<std::pair<int, int>> pairs;
  double ms = 0.0;
  for (int k = 1; k <= steps; ++k) {
    const auto t0 = std::chrono::steady_clock::now();
    const ORISIM_contactStats cs = s.step();
    ms += msSince(t0);
    if (cs.active > 0 && run->first_held == 0) run->first_held = k;
    if (cs.locked && run->locked == 0) run->locked = k;
    const int crossing = oriManifoldSelfIntersections(s.om, &pairs);
    run->crossing_most = std::max(run->crossing_most, crossing);
    run->crossing_frames += crossing > 0 ? 1 : 0;
  }
  run->progress = oriFoldProgress(s.om);
  run->ms_per_step = ms / steps;
  return true;
}

void BM_ContactSailboat(benchmark::State& state) {
  const std::string path = sharedPatternPath("fold/flatfolder_traditional_sailboat.fold");
  if (path.empty()) {
    state.SkipWithError("the sailboat is absent (set PLICATA_PATTERNS to the patterns folder)");
    return;
  }
  SailboatRun with, without;
  for (auto _ : state) {
    with = SailboatRun();
    without = SailboatRun();
    if (!foldSailboat(path, true, 200, &with) || !foldSailboat(path, false, 200, &without)) {
      state.SkipWithError("the sailboat could not be read");
      return;
    }
  }
  state.counters["contact_crossing_most"] = with.crossing_most;
  state.counters["contact_crossing_frames"] = with.crossing_frames;
  state.counters["contact_progress"] = with.progress;
  state.counters["contact_first_held"] = with.first_held;
  state.counters["contact_locked"] = with.locked;
  state.counters["contact_ms"] = with.ms_per_step;
  state.counters["free_crossing_most"] = without.crossing_most;
  state.counters["free_crossing_frames"] = without.crossing_frames;
  state.counters["free_progress"] = without.progress;
  state.counters["free_ms"] = without.ms_per_step;
}

}  // namespace

BENCHMARK(BM_ContactMiura)->Args({100, 50})->Args({100, 120})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactWaterbomb)->Arg(6)->Arg(12)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactSailboat)->Iterations(1)->Unit(benchmark::kMillisecond);
