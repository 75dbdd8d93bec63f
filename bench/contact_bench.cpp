// Contact: what a step with contact on costs beside the same step without,
// and what it does to a real fold.
//
// BM_ContactStep/N/S/T  a triangulated N × N Miura-ori set to the angles S
//                  solver steps of a small one reach (60: folded far, no
//                  face within the contact tolerance of another; 120: nearly
//                  flat, its layers within it), with a paper thickness of T
//                  tenths of a file unit. Two copies fold side by side, one
//                  with contact and one without; each iteration resets both,
//                  takes one step untimed (contact finds its contacts) and
//                  times the next four of each, interleaved so that the
//                  machine's load falls on both alike. Counters: plain_ms and
//                  contact_ms (a step, median over iterations), ratio
//                  (their quotient), found and held (pairs of faces within
//                  the tolerance, and held apart, after the last step), and
//                  the constrained solves' cg_iterations and rounds.
// BM_ContactSailboat  the traditional sailboat of the real patterns folded
//                  200 steps with contact and without. Counters:
//                  crossing_most (the most pairs of faces passing through
//                  each other in any frame, by the self-intersection check),
//                  crossing_frames (frames with any), progress (fold
//                  progress, percent, after the last step) of each, the
//                  step where contact first held and where it locked (0:
//                  never), and the milliseconds per step of each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "geometry/self_intersection.h"
#include "input/pattern_file.h"
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

bool makeSheet(Sheet* s, int size, const MidFold& mid, bool contact, double thickness) {
  {
    QuietStdout quiet;
    s->om = makeMiura(size, true);
    if (s->om != nullptr) s->osm = oriSimNew(s->om);
  }
  if (s->osm == nullptr) return false;
  oriSimInitMatrix(s->osm, s->om);
  setMidFold(s->osm, s->om, mid);
  s->start = s->osm->angle_n;
  if (contact) {
    std::string why;
    s->contact = oriSimContactNew();
    if (oriSimContactSetThickness(s->contact, s->om, thickness, &why) != 0) return false;
  }
  return true;
}

void BM_ContactStep(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const MidFold mid = midFoldAngles(static_cast<int>(state.range(1)));
  const double thickness = 0.1 * static_cast<double>(state.range(2));
  Sheet plain, with;
  if (!makeSheet(&plain, size, mid, false, 0.0) || !makeSheet(&with, size, mid, true, thickness)) {
    state.SkipWithError("the Miura-ori could not be built");
    return;
  }
  constexpr int kTimed = 4;
  std::vector<double> plain_ms, contact_ms;
  ORISIM_contactStats last{};
  double cg = 0, rounds = 0;
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

BENCHMARK(BM_ContactStep)
    ->Args({100, 60, 0})
    ->Args({100, 120, 0})
    ->Args({30, 120, 5})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactSailboat)->Iterations(1)->Unit(benchmark::kMillisecond);
