// A large sheet's step shared among threads: the same bits on one thread as
// on several, also while another sheet folds in another thread.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "geometry/message.h"
#include "geometry/tessellate.h"
#include "input/pattern_gen.h"
#include "sim/fold_step.h"
#include "sim/parallel_chunks.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sparse_jacobian.h"
#include "tests/support/fixtures.h"

namespace {

void quiet(void*, const char*, size_t) {}

// Every fold angle, the closure residual and its rows, then every vertex
// position, after ten steps from flat of a triangulated Miura-ori large
// enough that every phase of a step is cut into several chunks (placement
// included), its preparation and work shared among the given threads.
std::vector<double> tenSteps(int threads) {
  oriSetMessageSink(quiet, nullptr);
  oriSimSetThreads(threads);
  OriMiuraParams params;
  params.rows = params.cols = 101;
  std::vector<double> out;
  ORI_manifold* om = loadGeneratedMiura(params);
  if (om == nullptr) return out;
  // Triangulated, placed and given its record as a loaded pattern is: on
  // more than one thread the placement runs beside the record's making.
  ORISIM_matrix* osm = nullptr;
  oriManifoldPrepareForFolding(om, 1, 0, &osm);
  if (osm == nullptr) return out;
  int frame_no = 0;
  for (int k = 0; k < 10; ++k) oriFoldStep(osm, om, 0.5, "CG", &frame_no, nullptr, nullptr, nullptr);
  out = osm->angle_n;
  std::vector<double> rows;
  out.push_back(oriSimSparseResidual(rows, osm, om));
  out.insert(out.end(), rows.begin(), rows.end());
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    out.insert(out.end(), {v->pos.x, v->pos.y, v->pos.z});
  }
  EXPECT_GE(osm->placement.chunk_start.size(), 3u) << "the placement was not shared";
  oriSimDelete(osm);
  oriManifoldDelete(om);
  oriSimSetThreads(0);
  oriSetMessageSink(nullptr, nullptr);
  return out;
}

}  // namespace

TEST(ParallelChunks, SameFoldOnOneThreadOnTwoAndBesideAnotherSheet) {
  const std::vector<double> one = tenSteps(1);
  ASSERT_FALSE(one.empty());
  EXPECT_EQ(tenSteps(2), one);
  // Two sheets at once, each with its own helpers, as the Python package
  // folds them with the interpreter's lock released.
  std::vector<double> a, b;
  std::thread other([&b] { b = tenSteps(2); });
  a = tenSteps(2);
  other.join();
  EXPECT_EQ(a, one);
  EXPECT_EQ(b, one);
}
