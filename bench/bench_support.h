// What the benchmarks share: keeping the library's messages out of the
// table, the process's peak memory, and generated Miura-ori started
// mid-fold.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "geometry/manifold.h"
#include "geometry/tessellate.h"
#include "input/line_list.h"
#include "input/pattern_gen.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"

// The default fold step (10) times 0.05 radians.
constexpr double kStep = 0.5;

// Sends standard output to /dev/null while it lives: the reader's progress
// dots and the record's report would break up the table.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
      dup2(null_fd, STDOUT_FILENO);
      close(null_fd);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_ = -1;
};

// The path of a real pattern of the shared folder (PLICATA_PATTERNS, or
// ../shared/patterns beside the sources), relative = "opx/name.opx" say;
// "" when it cannot be opened.
inline std::string sharedPatternPath(const std::string& relative) {
  const char* dir = std::getenv("PLICATA_PATTERNS");
  const std::string path = std::string(dir != nullptr ? dir : PLICATA_SOURCE_DIR "/../shared/patterns") + "/" + relative;
  FILE* fp = std::fopen(path.c_str(), "r");
  if (fp == nullptr) return "";
  std::fclose(fp);
  return path;
}

// The process's peak resident memory so far, in megabytes.
inline double peakRssMB() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss / 1024.0;  // kilobytes on Linux
}

// A generated Miura-ori of size × size parallelograms, facets kept whole
// (or cut into triangles), prepared for folding; null when it cannot be built.
inline ORI_manifold* makeMiura(int size, bool triangulate = false) {
  OriMiuraParams params;
  params.rows = size;
  params.cols = size;
  CreasePattern* cp = CreasePatternNew();
  ORI_manifold* om = nullptr;
  if (oriPatternMakeMiura(cp, params, nullptr, 0) == 0) {
    om = oriManifoldNew();
    if (oriManifoldConstructFromPattern(om, cp) != 0 || (triangulate && oriManifoldTessFace(om) != 0) ||
        oriManifoldPrepare(om, 0) != 0) {
      oriManifoldDelete(om);
      om = nullptr;
    }
  }
  CreasePatternDestruct(cp);
  return om;
}

// Every Miura-ori of one sector angle folds uniformly: all zig-zag creases by
// one angle, all straight creases by another, the diagonals of a
// triangulation flat. A small one folded by the solver gives both, so a large
// one starts mid-fold (or as far as steps from flat take it) without paying
// for the steps that lead there. It is folded on the sparse path: the dense
// one wakes the linear-algebra library's threads, which then spin for a
// while beside the steps measured next.
struct MidFold {
  double zigzag = 0, straight = 0;
};

inline bool isStraight(const ORI_edge* e) { return std::fabs(e->y1 - e->y0) < 1e-12; }

inline MidFold midFoldAngles(int steps = 20) {
  MidFold mid;
  QuietStdout quiet;
  ORI_manifold* om = makeMiura(3);
  if (om == nullptr) return mid;
  oriSimSetPathRequest(kOriSimPathSparse);
  ORISIM_matrix* osm = oriSimNew(om);
  oriSimSetPathRequest(kOriSimPathAuto);
  oriSimInitMatrix(osm, om);
  for (int k = 0; k < steps; ++k) oriSimUpdateStateCG(osm, om, kStep);
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->crease_index < 0) continue;
    double& slot = isStraight(e) ? mid.straight : mid.zigzag;
    slot = std::max(slot, std::fabs(e->angle));
  }
  oriSimDelete(osm);
  oriManifoldDelete(om);
  return mid;
}

// Sets every crease of a Miura-ori to the mid-fold angles and places the faces.
inline void setMidFold(ORISIM_matrix* osm, ORI_manifold* om, const MidFold& mid) {
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->crease_index < 0) continue;
    const double size = e->is_diagonal ? 0.0 : isStraight(e) ? mid.straight : mid.zigzag;
    osm->angle_n[e->crease_index] = std::copysign(size, e->target_angle);
  }
  oriSimUpdateCrease(om, osm->angle_n);
  oriManifoldUpdate(om, om->center_face);
}
