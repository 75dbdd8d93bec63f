// Pictures without a window: one 800 × 600 picture of a folded 100 × 100
// Miura-ori drawn off-screen and read back, one such picture added to a
// GIF, and plicata-fold making a 60-picture GIF of a 20 × 20 Miura-ori,
// from the command to the file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "files/gif_export.h"
#include "render/offscreen.h"
#include "render/view_rules.h"
#include "render/view_state.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 800, kHeight = 600;

// A folded 100 × 100 Miura-ori in the window's start-up view, and an
// off-screen context of the picture's size.
struct FoldedScene {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  ORI_offscreen* context = nullptr;
  std::vector<unsigned char> rgb = std::vector<unsigned char>(kWidth * kHeight * 3);
  FoldedScene() {
    const MidFold mid = midFoldAngles();
    QuietStdout quiet;
    om = makeMiura(100);
    if (om == nullptr) return;
    osm = oriSimNew(om);
    setMidFold(osm, om, mid);
    oriGLPictureView(&theGL, kOriPictureObject, 20.0, 45.0, kWidth, kHeight);
    context = oriGLOffscreenNew(kWidth, kHeight);
  }
  ~FoldedScene() {
    oriGLOffscreenDelete(context);
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
};

void BM_PictureMiura100(benchmark::State& state) {
  FoldedScene scene;
  if (scene.context == nullptr) return state.SkipWithError("no off-screen context");
  for (auto _ : state) oriGLOffscreenDraw(scene.context, scene.om, scene.rgb.data());
}

void BM_GifFrameMiura100(benchmark::State& state) {
  FoldedScene scene;
  if (scene.context == nullptr) return state.SkipWithError("no off-screen context");
  oriGLOffscreenDraw(scene.context, scene.om, scene.rgb.data());
  const fs::path path = fs::temp_directory_path() / "plicata-picture-bench.gif";
  ORI_gif_writer* gif = oriGifBegin(path.c_str(), kWidth, kHeight, 20);
  for (auto _ : state) oriGifAddFrame(gif, scene.rgb.data());
  oriGifAbort(gif);
}

void BM_GifCommandMiura20(benchmark::State& state) {
  std::string dir = (fs::temp_directory_path() / "plicata-gif-bench-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) return state.SkipWithError("no temporary directory");
  const std::string fold = PLICATA_FOLD_COMMAND;
  const std::string gen = (fs::path(fold).parent_path() / "plicata-gen").string();
  if (std::system((gen + " miura --rows 20 --cols 20 -o " + dir + "/m20.opx").c_str()) != 0) {
    return state.SkipWithError("plicata-gen failed");
  }
  const std::string cmd = "cd " + dir + " && " + fold + " --steps 59 --gif fold.gif m20.opx >/dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("plicata-fold failed");
  }
  state.counters["KB"] = static_cast<double>(fs::file_size(dir + "/fold.gif")) / 1024.0;
  fs::remove_all(dir);
}

}  // namespace

BENCHMARK(BM_PictureMiura100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GifFrameMiura100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GifCommandMiura20)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);
