// The folding of 60 frames (flat, then 59 fold steps) of a 30 × 30 and a
// 100 × 100 triangulated Miura-ori written as binary glTF (with normals and
// without) and as a web page: each writer's time from the recording to the
// file, and the file's size (counter MB). The fold itself is not timed: a
// Miura-ori folds uniformly, so the angles of a 3 × 3 one folded by the
// solver are set on the large sheet step by step.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "files/fold_animation.h"
#include "files/gltf_export.h"
#include "files/html_export.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 60;

// The angles of every frame: flat, then one fold step after another.
std::vector<MidFold> foldAngles() {
  std::vector<MidFold> out(1);
  QuietStdout quiet;
  ORI_manifold* om = makeMiura(3);
  if (om == nullptr) return out;
  oriSimSetPathRequest(kOriSimPathSparse);
  ORISIM_matrix* osm = oriSimNew(om);
  oriSimSetPathRequest(kOriSimPathAuto);
  oriSimInitMatrix(osm, om);
  while (static_cast<int>(out.size()) < kFrames) {
    oriSimUpdateStateCG(osm, om, kStep);
    MidFold m;
    for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
      if (e->crease_index < 0) continue;
      double& slot = isStraight(e) ? m.straight : m.zigzag;
      slot = std::max(slot, std::fabs(e->angle));
    }
    out.push_back(m);
  }
  oriSimDelete(osm);
  oriManifoldDelete(om);
  return out;
}

// A recorded run of a size × size sheet, made once per size.
ORI_fold_animation* recordedRun(int size) {
  static std::vector<std::pair<int, ORI_fold_animation*>> made;
  for (const auto& m : made) {
    if (m.first == size) return m.second;
  }
  const std::vector<MidFold> angles = foldAngles();
  QuietStdout quiet;
  ORI_manifold* om = makeMiura(size, true);
  if (om == nullptr) return nullptr;
  ORISIM_matrix* osm = oriSimNew(om);
  ORI_fold_animation* anim = oriFoldAnimationBegin(om, 0);
  for (size_t k = 1; anim != nullptr && k < angles.size(); ++k) {
    setMidFold(osm, om, angles[k]);
    oriFoldAnimationFrame(anim, om, static_cast<long>(k));
  }
  oriSimDelete(osm);
  oriManifoldDelete(om);
  made.emplace_back(size, anim);
  return anim;
}

void report(benchmark::State& state, const fs::path& path) {
  state.counters["MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
  state.counters["frames"] = kFrames;
  fs::remove(path);
}

void BM_Gltf(benchmark::State& state) {
  ORI_fold_animation* anim = recordedRun(static_cast<int>(state.range(0)));
  if (anim == nullptr) return state.SkipWithError("no Miura-ori");
  ORI_gltfOptions opt;
  opt.normals = state.range(1) != 0;
  const fs::path path = fs::temp_directory_path() / "plicata-web-bench.glb";
  std::string why;
  for (auto _ : state) {
    if (oriGltfSaveFile(anim, opt, path.c_str(), &why) != 0) return state.SkipWithError(why.c_str());
  }
  report(state, path);
}

void BM_Html(benchmark::State& state) {
  ORI_fold_animation* anim = recordedRun(static_cast<int>(state.range(0)));
  if (anim == nullptr) return state.SkipWithError("no Miura-ori");
  const fs::path path = fs::temp_directory_path() / "plicata-web-bench.html";
  std::string why;
  for (auto _ : state) {
    if (oriHtmlSaveFile(anim, ORI_htmlOptions(), path.c_str(), &why) != 0) return state.SkipWithError(why.c_str());
  }
  report(state, path);
}

}  // namespace

BENCHMARK(BM_Gltf)->ArgNames({"side", "normals"})->Args({30, 1})->Args({30, 0})->Args({100, 1})->Args({100, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Html)->ArgName("side")->Arg(30)->Arg(100)->Unit(benchmark::kMillisecond);
