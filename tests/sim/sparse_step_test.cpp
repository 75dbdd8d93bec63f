// The two paths of the fold step: which one a record takes, and that the
// sparse one folds as the dense one does, step after step and over whole
// runs, on generated and real patterns.
//
// The dense path is the reference, but a reference only as good as it is
// reproducible: where the conjugate gradient runs for hundreds of iterations
// on a nearly singular system, changing its Jacobian by one rounding unit
// already moves its answer by 1e-5 to 1e-3 radians. Such steps (and runs)
// cannot tell two correct implementations apart; they are counted, not
// compared. Everywhere the reference reproduces itself, the paths must
// agree to 1e-6 radians per step and 1e-4 of the paper over fifty steps.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/tessellate.h"
#include "input/pattern_gen.h"
#include "sim/fold_step.h"
#include "sim/kinematics.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
#include "sim/sparse_jacobian.h"
#include "tests/support/fixtures.h"

namespace fs = std::filesystem;

namespace {

constexpr double kStep = 0.5;  // the default fold step, 10 × 0.05
// The dense path counts as reproducible at a step when one rounding unit
// more on every Jacobian entry changes its angle changes by less than this.
constexpr double kReproducibleStep = 1e-8;
// ... and over a run when one rounding unit more on the step size moves no
// vertex by more than this (CP units: the paper is 1 across).
constexpr double kReproducibleRun = 1e-5;
// Dense reference steps cost m²·n; larger real patterns are left to the
// benchmark.
constexpr int kMaxRowsCompared = 600;

ORISIM_matrix* makeRecord(ORI_manifold* om, int path) {
  testing::internal::CaptureStdout();
  oriSimSetPathRequest(path);
  ORISIM_matrix* osm = oriSimNew(om);
  oriSimSetPathRequest(kOriSimPathAuto);
  oriSimInitMatrix(osm, om);
  testing::internal::GetCapturedStdout();
  return osm;
}

// A pattern source: builds a fresh manifold (null when it cannot).
struct Source {
  std::string name;
  std::function<ORI_manifold*()> load;
  bool triangulate;
};

ORI_manifold* prepared(const Source& src) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = src.load();
  if (om != nullptr) {
    if (src.triangulate && !oriManifoldTriangulated(om)) oriManifoldTessFace(om);
    oriManifoldPrepare(om, 0);
  }
  testing::internal::GetCapturedStdout();
  return om;
}

std::vector<Source> generatedSources() {
  OriMiuraParams miura;
  miura.rows = 4;
  miura.cols = 5;
  miura.sector_deg = 70;
  OriMiuraParams small;
  small.rows = small.cols = 3;
  OriWaterbombParams waterbomb;
  waterbomb.rows = waterbomb.cols = 3;
  OriVertexParams vertex;
  OriVertexParams six;
  six.degree = 6;
  const double sectors[6] = {50, 70, 60, 40, 80, 60};
  const int types[6] = {2, 3, 2, 3, 2, 2};
  for (int k = 0; k < 6; ++k) {
    six.sector_deg[k] = sectors[k];
    six.type[k] = types[k];
  }
  std::vector<Source> out;
  for (bool tri : {false, true}) {
    const std::string suffix = tri ? " triangulated" : "";
    out.push_back({"miura 4x5 at 70" + suffix, [=] { return loadGeneratedMiura(miura); }, tri});
    out.push_back({"miura 3x3" + suffix, [=] { return loadGeneratedMiura(small); }, tri});
    out.push_back({"waterbomb 3x3" + suffix, [=] { return loadGeneratedWaterbomb(waterbomb); }, tri});
    out.push_back({"vertex degree 4" + suffix, [=] { return loadGeneratedVertex(vertex); }, tri});
    out.push_back({"vertex degree 6" + suffix, [=] { return loadGeneratedVertex(six); }, tri});
  }
  return out;
}

std::vector<Source> realSources() {
  std::vector<Source> out;
  for (const std::string& path : realPatterns("opx", ".opx")) {
    for (bool tri : {false, true}) {
      out.push_back({path + (tri ? " triangulated" : ""), [=] { return loadOpxFile(path); }, tri});
    }
  }
  return out;
}

double maxDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double d = 0.0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) d = std::max(d, std::fabs(a[i] - b[i]));
  return d;
}

struct StepCount {
  int compared = 0, steps = 0;
};

// Forty fold steps and ten unfold steps along the dense path's own
// trajectory; at each, both paths step from the same angles.
StepCount compareStepByStep(const Source& src) {
  StepCount count;
  ORI_manifold* om = prepared(src);
  if (om == nullptr) return count;
  ORISIM_matrix* dense = makeRecord(om, kOriSimPathDense);
  ORISIM_matrix* sparse = makeRecord(om, kOriSimPathSparse);
  EXPECT_EQ(dense->path, kOriSimPathDense);
  EXPECT_EQ(sparse->path, kOriSimPathSparse);
  if (dense->m <= kMaxRowsCompared && dense->n > 0) {
    std::vector<double> moment(dense->n), d1(dense->n), d2(dense->n);
    for (int k = 0; k < 50; ++k) {
      const double step = k < 40 ? kStep : -kStep;
      const std::vector<double> start = dense->angle_n;

      // How far the reference itself moves for one rounding unit.
      oriSimUpdateMomentAngle(moment, om, step);
      oriSimUpdateConstraints(dense->C_mn, dense, om);
      oriSimDeltaAnglePinvConstraintsCG(d1, moment, dense, om);
      for (double& c : dense->C_mn) c *= 1.0 + 2.220446049250313e-16;
      oriSimDeltaAnglePinvConstraintsCG(d2, moment, dense, om);
      const bool reproducible = maxDifference(d1, d2) < kReproducibleStep;

      const double moved_dense = oriSimUpdateStateCG(dense, om, step);
      const std::vector<double> after = dense->angle_n;
      sparse->angle_n = start;
      oriSimUpdateCrease(om, start);
      const double moved_sparse = oriSimUpdateStateCG(sparse, om, step);
      if (reproducible) {
        EXPECT_LT(maxDifference(dense->delta_angle_n, sparse->delta_angle_n), 1e-6) << "step " << k;
        EXPECT_NEAR(moved_sparse, moved_dense, 1e-6) << "step " << k;
        ++count.compared;
      }
      ++count.steps;
      oriSimUpdateCrease(om, after);
    }
  }
  oriSimDelete(sparse);
  oriSimDelete(dense);
  oriManifoldDelete(om);
  return count;
}

// Vertex positions after every step of a fifty-step fold on one path.
std::vector<std::vector<double>> foldRun(const Source& src, int path, double step) {
  std::vector<std::vector<double>> frames;
  ORI_manifold* om = prepared(src);
  if (om == nullptr) return frames;
  ORISIM_matrix* osm = makeRecord(om, path);
  int frame_no = 0;
  for (int k = 0; k < 50; ++k) {
    oriFoldStep(osm, om, step, "CG", &frame_no, nullptr, nullptr, nullptr);
    std::vector<double> pos;
    for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
      pos.insert(pos.end(), {v->pos.x, v->pos.y, v->pos.z});
    }
    frames.push_back(pos);
  }
  oriSimDelete(osm);
  oriManifoldDelete(om);
  return frames;
}

double framesDifference(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b) {
  double d = a.size() == b.size() ? 0.0 : HUGE_VAL;
  for (size_t k = 0; k < a.size() && k < b.size(); ++k) d = std::max(d, maxDifference(a[k], b[k]));
  return d;
}

// Whether the run was compared: the sparse frames must then lie within
// 1e-4 of the paper of the dense ones.
bool compareRuns(const Source& src) {
  ORI_manifold* probe = prepared(src);
  if (probe == nullptr) return false;
  ORISIM_matrix* osm = makeRecord(probe, kOriSimPathDense);
  const bool small = osm->m <= kMaxRowsCompared;
  oriSimDelete(osm);
  oriManifoldDelete(probe);
  if (!small) return false;
  const auto dense = foldRun(src, kOriSimPathDense, kStep);
  const auto nudged = foldRun(src, kOriSimPathDense, kStep * (1.0 + 2.220446049250313e-16));
  if (framesDifference(dense, nudged) > kReproducibleRun) return false;
  const auto sparse = foldRun(src, kOriSimPathSparse, kStep);
  EXPECT_LT(framesDifference(dense, sparse), 1e-4);
  return true;
}

}  // namespace

TEST(SparseStep, SmallPatternsTakeTheDensePathLargeOnesNeverHoldDenseArrays) {
  OriMiuraParams small;
  small.rows = small.cols = 3;
  OriMiuraParams large;
  large.rows = large.cols = 10;  // triangulated: 243 rows, 280 creases, beyond the dense limit
  ORI_manifold* a = prepared({"", [&] { return loadGeneratedMiura(small); }, true});
  ORI_manifold* b = prepared({"", [&] { return loadGeneratedMiura(large); }, true});
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);

  ORISIM_matrix* dense = makeRecord(a, kOriSimPathAuto);
  EXPECT_EQ(dense->path, kOriSimPathDense);
  EXPECT_EQ(dense->C_mn.size(), static_cast<size_t>(dense->m) * dense->n);
  EXPECT_TRUE(dense->C_sparse.col.empty());
  EXPECT_EQ(oriSimJacobianData(dense), dense->C_mn.data());

  ORISIM_matrix* sparse = makeRecord(b, kOriSimPathAuto);
  ASSERT_GT(double(sparse->m) * sparse->n, kOriSimDenseLimit);
  EXPECT_EQ(sparse->path, kOriSimPathSparse);
  EXPECT_TRUE(sparse->C_mn.empty());
  EXPECT_FALSE(sparse->C_sparse.col.empty());
  EXPECT_EQ(oriSimJacobianData(sparse), sparse->C_sparse.val.data());
  oriSimUpdateStateCG(sparse, b, kStep);
  EXPECT_TRUE(sparse->C_mn.empty()) << "a sparse step made the dense Jacobian";
  EXPECT_EQ(sparse->residual_m.size(), static_cast<size_t>(sparse->m));

  // Asked for, either path is taken whatever the size; an existing record
  // moves between them with its Jacobian refilled from the present angles.
  ORISIM_matrix* forced = makeRecord(a, kOriSimPathSparse);
  EXPECT_EQ(forced->path, kOriSimPathSparse);
  EXPECT_TRUE(forced->C_mn.empty());
  oriSimSelectPath(forced, a, kOriSimPathDense);
  EXPECT_EQ(forced->path, kOriSimPathDense);
  EXPECT_TRUE(forced->C_sparse.col.empty());
  EXPECT_EQ(maxDifference(forced->C_mn, dense->C_mn), 0.0);
  oriSimSelectPath(forced, a, kOriSimPathAuto);
  EXPECT_EQ(forced->path, kOriSimPathDense);
  oriSimSelectPath(sparse, b, kOriSimPathDense);
  EXPECT_EQ(sparse->C_mn.size(), static_cast<size_t>(sparse->m) * sparse->n);
  oriSimSelectPath(sparse, b, kOriSimPathSparse);
  EXPECT_TRUE(sparse->C_mn.empty());
  EXPECT_EQ(sparse->C_mn.capacity(), 0u) << "the dense Jacobian's storage was kept";

  oriSimSetPathRequest(99);
  EXPECT_EQ(oriSimPathRequest(), kOriSimPathAuto);
  oriSimDelete(forced);
  oriSimDelete(sparse);
  oriSimDelete(dense);
  oriManifoldDelete(a);
  oriManifoldDelete(b);
}

TEST(SparseStep, SameAngleChangesStepAfterStepOnGeneratedPatterns) {
  for (const Source& src : generatedSources()) {
    SCOPED_TRACE(src.name);
    const StepCount count = compareStepByStep(src);
    EXPECT_EQ(count.steps, 50);
    // These patterns are chosen well conditioned: nearly every step compares.
    EXPECT_GE(count.compared, 40) << count.compared << " of 50 steps reproducible";
  }
}

TEST(SparseStep, SameAngleChangesStepAfterStepOnRealPatterns) {
  const std::vector<Source> sources = realSources();
  if (sources.empty()) GTEST_SKIP() << "no real patterns: ../shared/patterns is absent";
  int compared = 0, steps = 0;
  for (const Source& src : sources) {
    SCOPED_TRACE(src.name);
    const StepCount count = compareStepByStep(src);
    compared += count.compared;
    steps += count.steps;
  }
  std::printf("compared %d of %d steps on real patterns\n", compared, steps);
  EXPECT_GE(compared, 500);
}

TEST(SparseStep, SameFramesOverFiftySteps) {
  int generated = 0;
  for (const Source& src : generatedSources()) {
    SCOPED_TRACE(src.name);
    if (compareRuns(src)) ++generated;
  }
  EXPECT_GE(generated, 8) << "of 10 generated runs reproduce themselves";
  int compared = 0;
  for (const Source& src : realSources()) {
    SCOPED_TRACE(src.name);
    if (compareRuns(src)) ++compared;
  }
  std::printf("compared %d generated and %d real runs\n", generated, compared);
  if (!realPatterns("opx", ".opx").empty()) {
    EXPECT_GE(compared, 8);
  }
}

TEST(SparseStep, WithoutConstraintsOrWithoutAStepNothingBreaks) {
  // No inner vertex: the change is the moment itself, as on the dense path.
  ORI_manifold* om = prepared({"", [] { return loadOpxText(opxText(squareWithDiagonal(2))); }, false});
  ASSERT_NE(om, nullptr);
  ORISIM_matrix* osm = makeRecord(om, kOriSimPathSparse);
  ASSERT_EQ(osm->m, 0);
  std::vector<double> delta;
  std::vector<double> moment(osm->n, 0.0);
  oriSimUpdateMomentAngle(moment, om, kStep);
  EXPECT_EQ(oriSimDeltaAnglePinvConstraintsCG(delta, moment, osm, om), 0.0);
  EXPECT_EQ(delta, moment);
  EXPECT_NEAR(oriSimUpdateStateCG(osm, om, kStep), 0.05, 1e-12);
  oriSimDelete(osm);
  oriManifoldDelete(om);

  // A flat sheet and no step: zero right-hand side, nothing moves, nothing
  // becomes NaN; then a record never filled projects nothing.
  OriMiuraParams params;
  om = prepared({"", [&] { return loadGeneratedMiura(params); }, true});
  ASSERT_NE(om, nullptr);
  osm = makeRecord(om, kOriSimPathSparse);
  EXPECT_LT(oriSimUpdateStateCG(osm, om, 0.0), 1e-12);
  for (double a : osm->angle_n) ASSERT_LT(std::fabs(a), 1e-12);
  osm->C_sparse = ORISIM_sparse();
  moment.assign(osm->n, 0.25);
  int iterations = -1;
  oriSimDeltaAnglePinvConstraintsCG(delta, moment, osm, om, &iterations, nullptr);
  EXPECT_EQ(delta, moment);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

namespace {

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs plicata-fold with args; returns the exit status, standard output and
// error in *out and *err.
int runFold(const std::vector<std::string>& args, std::string* out, std::string* err) {
  const fs::path dir = fs::temp_directory_path();
  const fs::path o = dir / ("plicata-sparse-out-" + std::to_string(getpid()));
  const fs::path e = dir / ("plicata-sparse-err-" + std::to_string(getpid()));
  std::string cmd = std::getenv("PLICATA_FOLD");
  for (const std::string& a : args) cmd += " '" + a + "'";
  cmd += " >'" + o.string() + "' 2>'" + e.string() + "' </dev/null";
  const int raw = std::system(cmd.c_str());
  *out = readFile(o);
  *err = readFile(e);
  fs::remove(o);
  fs::remove(e);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

TEST(SparseStep, PlicataFoldDenseAndSparseFoldAlike) {
  const char* exe = std::getenv("PLICATA_FOLD");
  if (exe == nullptr || !fs::exists(exe)) GTEST_SKIP() << "PLICATA_FOLD does not name the built plicata-fold";
  const std::string miura = (fs::path(PLICATA_SOURCE_DIR) / "examples" / "miura_4x4.opx").string();
  double residual[2], delta[2];
  std::string out, err;
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(runFold({miura, "--steps", "20", k == 0 ? "--dense" : "--sparse"}, &out, &err), 0) << err;
    const size_t last = out.rfind("steps=");
    ASSERT_NE(last, std::string::npos);
    ASSERT_EQ(std::sscanf(out.c_str() + last, "steps=20 residual=%lf max_delta=%lf", &residual[k], &delta[k]), 2);
  }
  EXPECT_NEAR(residual[1], residual[0], 1e-6 + 1e-3 * residual[0]);
  EXPECT_NEAR(delta[1], delta[0], 1e-6);
  EXPECT_EQ(runFold({miura, "--dense", "--sparse"}, &out, &err), 2);
  EXPECT_NE(err.find("exclude each other"), std::string::npos) << err;
}
