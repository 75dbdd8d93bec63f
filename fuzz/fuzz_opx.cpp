// The XML crease-pattern path a user reaches by opening a file: reading,
// face construction, triangulation, numbering, placement, the simulation
// record and a few fold steps, all on the fuzzer's bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "geometry/manifold.h"
#include "input/opx_reader.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (fp == nullptr) return 0;
  FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");
  ORI_manifold* om = oriManifoldNew();
  if (oriManifoldConstructFromOpx(om, nullptr, fp) == 0) {
    char why[256];
    if (oriManifoldValidate(om, why, sizeof why) != 0) {
      std::fprintf(stderr, "invalid mesh built: %s\n", why);
      std::abort();
    }
    ORISIM_matrix* osm = nullptr;
    // Small meshes only: the fuzzer looks for faults, not for slow folds.
    const bool triangulate = om->n_edge < 4000;
    if (oriManifoldPrepareForFolding(om, triangulate ? 1 : 0, 0, &osm) == 0 && osm != nullptr) {
      check(oriManifoldValidate(om, why, sizeof why) == 0, "invalid mesh after preparing");
      if (osm->m < 600) {
        for (int k = 0; k < 3; ++k) {
          const double d = oriSimUpdateStateCG(osm, om, 0.5);
          check(std::isfinite(d), "non-finite step");
          oriManifoldUpdate(om, om->center_face);
        }
        for (double a : osm->angle_n) check(std::isfinite(a), "non-finite angle");
      }
    }
    oriSimDelete(osm);
  }
  oriManifoldDelete(om);
  std::fclose(fp);
  std::fclose(stdout);
  stdout = saved;
  return 0;
}
