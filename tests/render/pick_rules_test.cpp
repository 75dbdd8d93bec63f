// The mouse and picking rules without OpenGL: drags, the choice among hit
// records, and what face and vertex picks change.
#include "render/pick_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/manifold.h"
#include "input/pattern_gen.h"
#include "render/view_state.h"
#include "sim/fold_step.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"

namespace {

// Hit records: names count, minimum depth, maximum depth, names.
void hit(std::vector<unsigned>* buf, unsigned depth, std::vector<unsigned> names) {
  buf->push_back(static_cast<unsigned>(names.size()));
  buf->push_back(depth);
  buf->push_back(depth + 10);
  buf->insert(buf->end(), names.begin(), names.end());
}

bool choose(const std::vector<unsigned>& buf, int hits, int mode, OriPickChoice* c) {
  return oriGLChoosePick(buf.data(), buf.size(), hits, mode, c);
}

}  // namespace

TEST(MouseRules, MiddleDragPansAndTheReleaseKeepsThePicture) {
  theGLstruct gl = theGL;
  EXPECT_FALSE(oriGLMouseButton(&gl, kOriMouseMiddle, kOriMouseDown, 100, 100));
  oriGLMouseMotion(&gl, 130, 90);
  const int during_x = gl.pan_press_x - gl.pan_cur_x + gl.pan_x;
  const int during_y = gl.pan_cur_y - gl.pan_press_y + gl.pan_y;
  oriGLMouseButton(&gl, kOriMouseMiddle, kOriMouseUp, 130, 90);
  EXPECT_EQ(gl.pan_drag, 0);
  EXPECT_EQ(gl.pan_press_x - gl.pan_cur_x + gl.pan_x, during_x);
  EXPECT_EQ(gl.pan_cur_y - gl.pan_press_y + gl.pan_y, during_y);
  // The next drag starts from there.
  oriGLMouseButton(&gl, kOriMouseMiddle, kOriMouseDown, 10, 10);
  EXPECT_EQ(gl.pan_press_x - gl.pan_cur_x + gl.pan_x, during_x);
}

TEST(MouseRules, RightDragTurnsAndTiltStopsAt100Degrees) {
  theGLstruct gl = theGL;
  gl.width = 400;
  oriGLMouseButton(&gl, kOriMouseRight, kOriMouseDown, 100, 300);
  oriGLMouseMotion(&gl, 300, 300);
  EXPECT_DOUBLE_EQ(gl.azimuth, 45.0) << "half the width turns by 45 degrees";
  oriGLMouseMotion(&gl, 300, -5000);
  EXPECT_EQ(gl.elevation, 100.0);
  oriGLMouseButton(&gl, kOriMouseRight, kOriMouseUp, 300, -5000);
  oriGLMouseButton(&gl, kOriMouseRight, kOriMouseDown, 0, 0);
  oriGLMouseMotion(&gl, 0, 40);
  EXPECT_DOUBLE_EQ(gl.azimuth, 45.0);
  EXPECT_DOUBLE_EQ(gl.elevation, 100.0 - 9.0) << "a new drag starts from the last angles";
  // Left button: only the press picks.
  EXPECT_TRUE(oriGLMouseButton(&gl, kOriMouseLeft, kOriMouseDown, 1, 1));
  EXPECT_FALSE(oriGLMouseButton(&gl, kOriMouseLeft, kOriMouseUp, 1, 1));
  gl.width = 0;
  oriGLMouseMotion(&gl, 5, 5);
  EXPECT_TRUE(std::isfinite(gl.azimuth));
}

TEST(PickChoice, NearestFaceFirstVertexAndSkippedRecords) {
  std::vector<unsigned> buf;
  hit(&buf, 50, {2, 7});          // a vertex
  hit(&buf, 40, {1, 3});          // the first face
  hit(&buf, 0, {1});              // one name only: not ours
  hit(&buf, 30, {1, 4});          // nearer
  hit(&buf, 30, {1, 5});          // as near: the earlier stays
  hit(&buf, 0xF0000000u, {1, 6}); // far (compared unsigned)
  OriPickChoice c;
  ASSERT_TRUE(choose(buf, 6, 1, &c));
  EXPECT_EQ(c.category, kOriPickFace);
  EXPECT_EQ(c.index, 4u);
  ASSERT_TRUE(choose(buf, 6, 2, &c));
  EXPECT_EQ(c.category, kOriPickVert);
  EXPECT_EQ(c.index, 7u);
  EXPECT_FALSE(choose(buf, 6, 0, &c));
  EXPECT_FALSE(choose(buf, -1, 1, &c)) << "an overflowing selection picks nothing";
  EXPECT_FALSE(choose(buf, 1, 1, &c)) << "only the records counted are read";
  // A count larger than the records that fit stops at the buffer's end.
  std::vector<unsigned> cut = {2, 5, 5, 1};
  EXPECT_FALSE(choose(cut, 3, 1, &c));
}

TEST(Picks, FacePickFixesThatFaceForTheNextSteps) {
  testing::internal::CaptureStdout();
  ORI_manifold* om = loadGeneratedMiura(OriMiuraParams());
  ORISIM_matrix* osm = om != nullptr ? oriFoldPrepareSim(om) : nullptr;
  testing::internal::GetCapturedStdout();
  ASSERT_NE(osm, nullptr);
  int frame_no = 0;
  oriFoldStep(osm, om, 0.5, "CG", &frame_no, nullptr, nullptr, nullptr);

  ORI_face* last = nullptr;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) last = static_cast<ORI_face*>(l->data);
  ASSERT_NE(last, om->center_face);
  om->model_matrix[12] = 0.25;  // a display frame that shifts by x + 0.25
  EXPECT_FALSE(oriGLPickFace(om, 1000000u));
  ASSERT_TRUE(oriGLPickFace(om, static_cast<unsigned>(last->index)));
  EXPECT_EQ(om->center_face, last);
  EXPECT_EQ(om->axis_origin, nullptr);
  EXPECT_EQ(om->axis_x, nullptr);
  EXPECT_EQ(om->axis_xy, nullptr);

  std::vector<vector3d> before;
  vector3d g = {0, 0, 0};
  const ORI_edge* e = last->first;
  do {
    before.push_back(e->vert->pos);
    g += e->vert->pos;
    e = e->next;
  } while (e != last->first);
  g /= static_cast<double>(before.size());
  EXPECT_NEAR(om->center.x, g.x + 0.25, 1e-12);
  EXPECT_NEAR(om->center.y, g.y, 1e-12);

  for (int k = 0; k < 3; ++k) oriFoldStep(osm, om, 0.5, "CG", &frame_no, nullptr, nullptr, nullptr);
  size_t i = 0;
  e = last->first;
  do {
    EXPECT_NEAR(e->vert->pos.x, before[i].x, 1e-9);
    EXPECT_NEAR(e->vert->pos.y, before[i].y, 1e-9);
    EXPECT_NEAR(e->vert->pos.z, before[i].z, 1e-9);
    ++i;
    e = e->next;
  } while (e != last->first);
  oriSimDelete(osm);
  oriManifoldDelete(om);
}

TEST(Picks, ThreeVertexCycle) {
  ORI_manifold* om = loadOpxText(opxText(miura2x2()));
  ASSERT_NE(om, nullptr);
  oriManifoldIndex(om);
  int count = 0;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(oriGLPickVert(om, 1000000u, &count));
  for (unsigned v : {1u, 2u, 3u}) ASSERT_TRUE(oriGLPickVert(om, v, &count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(om->axis_origin->index, 1);
  EXPECT_EQ(om->axis_x->index, 2);
  EXPECT_EQ(om->axis_xy->index, 3);
  ASSERT_TRUE(oriGLPickVert(om, 4u, &count));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "1\n2\n3\n4\n");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(om->axis_origin->index, 4) << "the fourth pick starts again at the origin";
  EXPECT_EQ(om->axis_x, nullptr);
  EXPECT_EQ(om->axis_xy, nullptr);
  oriManifoldDelete(om);
}
