// The folded form and the layer order of a strip with two parallel folds,
// small enough to count by hand, its FOLD file, and real patterns whose
// numbers of stackings other solvers have published.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "files/fold_export.h"
#include "flat/flat_state.h"
#include "geometry/message.h"
#include "input/pattern_file.h"
#include "input/pattern_gen.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"

namespace {

// A strip y in [-50, 50] of three panels split at x = -50 and x = 50 by
// folds of the given types (2 mountain, 3 valley); the left end at x = -150,
// the right one at x = right.
ORI_manifold* strip(int left_fold, int right_fold, double right = 150) {
  const std::vector<OriPatternLine> lines = {
      {-150, -50, -50, -50, 1}, {-50, -50, 50, -50, 1}, {50, -50, right, -50, 1}, {right, -50, right, 50, 1},
      {right, 50, 50, 50, 1},   {50, 50, -50, 50, 1},   {-50, 50, -150, 50, 1},   {-150, 50, -150, -50, 1},
      {-50, -50, -50, 50, left_fold}, {50, -50, 50, 50, right_fold}};
  ORI_manifold* om = loadOpxText(opxText(lines));
  if (om != nullptr) oriManifoldPrepare(om, 0);
  return om;
}

// The face of om containing the crease-pattern point (file units).
int faceAt(ORI_manifold* om, double X, double Y) {
  const ORI_face* f = oriManifoldSelectFace(om, X / om->paper_size, -Y / om->paper_size);
  return f != nullptr ? f->index : -1;
}

// The s of faceOrders for faces f and g (either order), 0 when not listed.
int orderOf(const ORI_layerOrder& L, int f, int g) {
  for (size_t k = 0; k + 2 < L.face_orders.size(); k += 3) {
    if ((L.face_orders[k] == f && L.face_orders[k + 1] == g) || (L.face_orders[k] == g && L.face_orders[k + 1] == f)) {
      return L.face_orders[k + 2];
    }
  }
  return 0;
}

void discard(void*, const char*, size_t) {}

}  // namespace

TEST(FoldedForm, TwoParallelFoldsLayTheEndPanelsOverTheMiddleOne) {
  ORI_manifold* om = strip(3, 2, 200);
  ASSERT_NE(om, nullptr);
  ORI_foldedForm form;
  ASSERT_EQ(oriFlatFoldedForm(om, &form), 0);
  EXPECT_TRUE(form.closes());
  EXPECT_EQ(form.n_facet, 3);
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    const double X = v->out[0]->x0 * 400, Y = v->out[0]->y0 * 400;
    // Reflected across x = -50 and x = 50; the middle panel stays; y kept.
    const double want_x = X < -51 ? -100 - X : X > 51 ? 100 - X : X;
    EXPECT_NEAR(form.vertex_xy[2 * v->index] * 400, want_x, 1e-9) << "vertex at x " << X;
    EXPECT_NEAR(form.vertex_xy[2 * v->index + 1] * 400, Y, 1e-9);
  }
  const int middle = form.face_facet[faceAt(om, 0, 0)];
  EXPECT_EQ(form.facet_up[middle], 1);
  EXPECT_EQ(form.facet_up[form.face_facet[faceAt(om, -100, 0)]], -1);
  EXPECT_EQ(form.facet_up[form.face_facet[faceAt(om, 120, 0)]], -1);
  oriManifoldDelete(om);
}

// Counted by hand: two valleys fold both end panels onto the middle one,
// either on top (2 stackings); a valley and a mountain put them on either
// side (1); a right panel long enough to cover the left fold cannot slip
// between the left panel and the middle, and lies on top (1).
TEST(LayerOrder, StripStackingsCountedByHand) {
  struct Case {
    int left, right;
    double right_end;
    long long states;
  } cases[] = {{3, 3, 150, 2}, {3, 2, 150, 1}, {3, 3, 200, 1}};
  for (const Case& c : cases) {
    ORI_manifold* om = strip(c.left, c.right, c.right_end);
    ASSERT_NE(om, nullptr);
    ORI_flatState st;
    ASSERT_FALSE(oriFailed(oriFlatAnalyse(om, ORI_layerOptions{}, &st)));
    const std::string name = std::to_string(c.left) + "/" + std::to_string(c.right) + " to " +
                             std::to_string(static_cast<int>(c.right_end));
    ASSERT_EQ(st.layers.status, kOriLayerFound) << name << ": " << st.layers.reason;
    EXPECT_EQ(st.layers.n_states, c.states) << name;
    EXPECT_TRUE(st.layers.n_states_exact) << name;
    // Faces joined by a valley lie on each other's front, by a mountain
    // on each other's back, whichever is named first.
    const int l = faceAt(om, -100, 0), m = faceAt(om, 0, 0), r = faceAt(om, 100, 0);
    EXPECT_EQ(orderOf(st.layers, l, m), c.left == 3 ? 1 : -1) << name;
    EXPECT_EQ(orderOf(st.layers, r, m), c.right == 3 ? 1 : -1) << name;
    // The end panels overlap each other too: every pair is ordered.
    EXPECT_EQ(st.layers.face_orders.size(), 9u) << name;
    if (c.states == 2) {
      // The second stacking swaps the end panels and nothing else.
      const int first = orderOf(st.layers, l, r);
      ASSERT_EQ(oriFlatChooseState(&st, 2, 1.0), kOriLayerFound);
      EXPECT_EQ(orderOf(st.layers, l, r), -first);
      EXPECT_EQ(oriFlatChooseState(&st, 3, 1.0), kOriLayerNoSuchState);
    }
    oriFlatStateClear(&st);
    oriManifoldDelete(om);
  }
}

TEST(LayerOrder, FoldFileKeepsTheCreasePatternFrameAndAddsTheFoldedFormWithItsOrders) {
  ORI_manifold* om = strip(3, 2);
  ASSERT_NE(om, nullptr);
  ORI_flatState st;
  ASSERT_FALSE(oriFailed(oriFlatAnalyse(om, ORI_layerOptions{}, &st)));
  char* flat_text = nullptr;
  char* cp_text = nullptr;
  size_t flat_size = 0, cp_size = 0;
  FILE* fp = open_memstream(&flat_text, &flat_size);
  ASSERT_EQ(oriFlatWriteFold(st, om, fp), 0);
  std::fclose(fp);
  ORI_fold_recording* rec = oriFoldRecordingBegin(om);
  fp = open_memstream(&cp_text, &cp_size);
  ASSERT_EQ(oriFoldRecordingSave(rec, fp), 0);
  std::fclose(fp);
  oriFoldRecordingDelete(rec);
  // The crease-pattern file as --fold-out writes it, up to its closing brace.
  const std::string flat(flat_text, flat_size), cp(cp_text, cp_size);
  std::free(flat_text);
  std::free(cp_text);
  ASSERT_GT(cp.size(), 3u);
  EXPECT_EQ(flat.compare(0, cp.size() - 3, cp, 0, cp.size() - 3), 0);

  const nlohmann::json doc = nlohmann::json::parse(flat);
  ASSERT_EQ(doc["file_frames"].size(), 1u);
  const nlohmann::json& frame = doc["file_frames"][0];
  EXPECT_EQ(frame["frame_classes"], nlohmann::json::array({"foldedForm"}));
  EXPECT_EQ(frame["frame_inherit"], true);
  ASSERT_EQ(frame["vertices_coords"].size(), doc["vertices_coords"].size());
  ASSERT_EQ(frame["faceOrders"].size(), st.layers.face_orders.size() / 3);
  for (const auto& o : frame["faceOrders"]) {
    EXPECT_LT(o[0].get<int>(), static_cast<int>(doc["faces_vertices"].size()));
    EXPECT_TRUE(o[2] == 1 || o[2] == -1);
  }
  oriFlatStateClear(&st);
  oriManifoldDelete(om);
}

TEST(LayerOrder, TheSearchStopsAtItsTimeLimitAndSaysSo) {
  OriMiuraParams p;
  p.rows = p.cols = 24;
  ORI_manifold* om = loadGeneratedMiura(p);
  ASSERT_NE(om, nullptr);
  ORI_layerOptions opt;
  opt.time_limit = 1e-3;
  ORI_flatState st;
  ASSERT_FALSE(oriFailed(oriFlatAnalyse(om, opt, &st)));
  EXPECT_EQ(st.layers.status, kOriLayerOutOfTime) << st.layers.reason;
  EXPECT_FALSE(st.layers.reason.empty());
  oriFlatStateClear(&st);
  oriManifoldDelete(om);
}

// Numbers of valid stackings published with the flat-folder data set for
// the same crease patterns (the turkey there reaches 672 through faces
// split by flat lines that this solver joins).
TEST(LayerOrder, RealPatternsHaveThePublishedNumbersOfStackings) {
  if (patternsDir().empty()) GTEST_SKIP() << "../shared/patterns is absent";
  const struct {
    const char* file;
    long long states;
  } known[] = {{"fold/flatfolder_traditional_sailboat.fold", 4}, {"fold/flatfolder_miura-ori.fold", 1},
               {"fold/flatfolder_traditional_4_birdbase.fold", 81}, {"opx/flatfolder_pinwheel.opx", 1},
               {"opx/flatfolder_turkey2015.opx", 672},          {"opx/oripa_crane_base_mitani.opx", 1}};
  for (const auto& k : known) {
    const std::string path = patternsDir() + "/" + k.file;
    oriSetMessageSink(discard, nullptr);
    ORI_manifold* om = oriManifoldNew();
    ORISIM_matrix* sim = nullptr;
    const bool built = oriManifoldConstructFromFile(om, nullptr, path.c_str()) == kOriOpenOk &&
                       oriManifoldPrepareForFolding(om, 1, 0, &sim) == 0;
    oriSetMessageSink(nullptr, nullptr);
    ASSERT_TRUE(built) << k.file;
    ORI_flatState st;
    ASSERT_FALSE(oriFailed(oriFlatAnalyse(om, ORI_layerOptions{}, &st))) << k.file;
    EXPECT_EQ(st.check.n_fail, 0) << k.file;
    EXPECT_EQ(st.layers.status, kOriLayerFound) << k.file << ": " << st.layers.reason;
    EXPECT_EQ(st.layers.n_states, k.states) << k.file;
    oriFlatStateClear(&st);
    oriSimDelete(sim);
    oriManifoldDelete(om);
  }
}
