#include "fuzz/harnesses.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "app/file_open.h"
#include "files/bmp.h"
#include "files/fold_export.h"
#include "geometry/manifold.h"
#include "geometry/paper_color.h"
#include "input/cp_reader.h"
#include "input/dxf_import.h"
#include "input/fold_reader.h"
#include "input/opx_reader.h"
#include "input/svg_reader.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"

namespace {

// Meshes above these sizes are built but not folded: the fuzzer looks for
// faults, not for slow folds.
constexpr int kMaxTriangulatedEdges = 4000;
constexpr int kMaxFoldedRows = 600;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

// Runs body with standard output thrown away: the readers print progress.
template <typename F>
void quietly(F body) {
  std::fflush(stdout);
  FILE* saved = stdout;
  FILE* sink = std::fopen("/dev/null", "w");
  if (sink != nullptr) stdout = sink;
  body();
  if (sink != nullptr) {
    std::fclose(sink);
    stdout = saved;
  }
}

// Validates a freshly built mesh, prepares it and folds it a little.
void foldBuilt(ORI_manifold* om) {
  char why[256];
  if (oriManifoldValidate(om, why, sizeof why) != 0) {
    std::fprintf(stderr, "invalid mesh built: %s\n", why);
    std::abort();
  }
  ORISIM_matrix* osm = nullptr;
  const int triangulate = om->n_edge < kMaxTriangulatedEdges ? 1 : 0;
  if (oriManifoldPrepareForFolding(om, triangulate, 0, &osm) == 0 && osm != nullptr) {
    check(oriManifoldValidate(om, why, sizeof why) == 0, "invalid mesh after preparing");
    if (osm->m < kMaxFoldedRows) {
      for (int k = 0; k < 3; ++k) {
        check(std::isfinite(oriSimUpdateStateCG(osm, om, 0.5)), "non-finite step");
        oriManifoldUpdate(om, om->center_face);
      }
      for (double a : osm->angle_n) check(std::isfinite(a), "non-finite angle");
    }
  }
  oriSimDelete(osm);
}

template <typename Reader>
int buildAndFold(const uint8_t* data, size_t size, Reader read) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (fp == nullptr) return 0;
  quietly([&] {
    ORI_manifold* om = oriManifoldNew();
    if (read(om, fp) == 0) foldBuilt(om);
    oriManifoldDelete(om);
  });
  std::fclose(fp);
  return 0;
}

const char kDialoguePattern[] = "/tmp/plicata-fuzz-dialogue/quad.opx";

}  // namespace

int plicataFuzzOpx(const uint8_t* data, size_t size) {
  return buildAndFold(data, size, [](ORI_manifold* om, FILE* fp) { return oriManifoldConstructFromOpx(om, nullptr, fp); });
}

int plicataFuzzDxf(const uint8_t* data, size_t size) {
  return buildAndFold(data, size, [](ORI_manifold* om, FILE* fp) { return oriManifoldConstructFromDxf(om, nullptr, fp); });
}

int plicataFuzzFold(const uint8_t* data, size_t size) {
  return buildAndFold(data, size, [](ORI_manifold* om, FILE* fp) {
    const int r = oriManifoldConstructFromFold(om, nullptr, fp);
    if (r == 0) {
      // A sheet read from FOLD must write back as FOLD.
      FILE* sink = std::fopen("/dev/null", "w");
      ORI_fold_recording* rec = oriFoldRecordingBegin(om);
      check(rec != nullptr && sink != nullptr && oriFoldRecordingSave(rec, sink) == 0, "a built sheet cannot be written as FOLD");
      oriFoldRecordingDelete(rec);
      std::fclose(sink);
    }
    return r;
  });
}

int plicataFuzzSvg(const uint8_t* data, size_t size) {
  return buildAndFold(data, size, [](ORI_manifold* om, FILE* fp) { return oriManifoldConstructFromSvg(om, nullptr, fp); });
}

int plicataFuzzCp(const uint8_t* data, size_t size) {
  return buildAndFold(data, size, [](ORI_manifold* om, FILE* fp) { return oriManifoldConstructFromCp(om, nullptr, fp); });
}

int plicataFuzzBmp(const uint8_t* data, size_t size) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (fp == nullptr) return 0;
  BITMAPINFO* info = nullptr;
  unsigned char* bits = LoadDIBitmapFile(fp, &info);
  if (bits != nullptr) {
    // Every byte the loader hands out must be readable.
    const uint64_t row = oriBmpRowBytes(info->bmiHeader.biWidth, info->bmiHeader.biBitCount);
    const int64_t h = info->bmiHeader.biHeight < 0 ? -static_cast<int64_t>(info->bmiHeader.biHeight)
                                                   : info->bmiHeader.biHeight;
    unsigned sum = 0;
    for (uint64_t i = 0; i < row * static_cast<uint64_t>(h); ++i) sum += bits[i];
    check(sum != 0xFFFFFFFFu || row > 0, "unreachable");
  }
  std::free(bits);
  std::free(info);
  std::fclose(fp);
  return 0;
}

int plicataFuzzPaperColor(const uint8_t* data, size_t size) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (fp == nullptr) return 0;
  quietly([&] {
    ORI_manifold* om = oriManifoldNew();
    oriManifoldReadColor(om, fp);
    oriManifoldDelete(om);
  });
  std::fclose(fp);
  return 0;
}

void plicataFuzzDialogueSetUp() {
  std::system("mkdir -p /tmp/plicata-fuzz-dialogue");
  FILE* fp = std::fopen(kDialoguePattern, "w");
  if (fp == nullptr) return;
  // A square with one crease from a corner to the middle of the far side:
  // a triangle and a quadrilateral, so that the question is asked.
  const double lines[][5] = {{-200, -200, 200, -200, 1}, {200, -200, 200, 0, 1},     {200, 0, 200, 200, 1},
                             {200, 200, -200, 200, 1},   {-200, 200, -200, -200, 1}, {-200, -200, 200, 0, 2}};
  std::fprintf(fp, "<java>\n <object class=\"oripa.DataSet\">\n  <void property=\"lines\">\n");
  std::fprintf(fp, "   <array class=\"oripa.OriLineProxy\" length=\"6\">\n");
  const char* names[4] = {"x0", "y0", "x1", "y1"};
  for (const auto& l : lines) {
    std::fprintf(fp, "<object class=\"oripa.OriLineProxy\">\n<void property=\"type\">\n<int>%d</int>\n</void>\n",
                 static_cast<int>(l[4]));
    for (int k = 0; k < 4; ++k) std::fprintf(fp, "<void property=\"%s\">\n<double>%f</double>\n</void>\n", names[k], l[k]);
    std::fprintf(fp, "</object>\n");
  }
  std::fprintf(fp, "   </array>\n  </void>\n </object>\n</java>\n");
  std::fclose(fp);
}

int plicataFuzzDialogue(const uint8_t* data, size_t size) {
  FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (in == nullptr) return 0;
  quietly([&] {
    if (FileOpenFrom(in, nullptr) == kFileOpenLoaded) {
      // A second dialogue onto the loaded model, from the rest of the input.
      FileNextOpenFrom(in, nullptr);
      char why[256];
      check(appManifold() == nullptr || oriManifoldValidate(appManifold(), why, sizeof why) == 0,
            "invalid model after the dialogue");
    }
    appSheetDelete();
  });
  std::fclose(in);
  return 0;
}
