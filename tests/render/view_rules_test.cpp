#include "render/view_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "geometry/manifold.h"
#include "render/view_state.h"
#include "sim/prepare.h"
#include "tests/support/fixtures.h"

namespace {

theGLstruct viewAt(int width, int height) {
  theGLstruct gl = theGL;
  gl.width = width;
  gl.height = height;
  return gl;
}

struct Fitted {
  int width, height;
};
Fitted fit(int W, int H, bool full_screen, bool fixed_aspect) {
  theGLstruct gl = theGL;
  gl.full_screen = full_screen;
  gl.fixed_aspect = fixed_aspect;
  oriGLFitDrawingArea(&gl, W, H);
  return {gl.width, gl.height};
}

// Where the display frame m (OpenGL column order) shows the point p.
vector3d shown(const double* m, const vector3d& p) {
  vector3d r;
  return input(r, m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
               m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
}

// A rigid motion of every vertex: a turn about a slanted axis and a shift.
void moveRigidly(ORI_manifold* om) {
  const double c = std::cos(0.7), s = std::sin(0.7);
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    vector3d& p = static_cast<ORI_vert*>(l->data)->pos;
    const double x = p.x, y = p.y * c - p.z * s, z = p.y * s + p.z * c;  // about x
    input(p, x * c + z * s + 0.3, y - 0.2, -x * s + z * c + 1.5);        // then about y
  }
}

}  // namespace

// The record is initialised by position: spot checks after the long runs
// of flags catch a value that slipped into its neighbour.
TEST(ViewDefaults, StartValuesOfTheViewState) {
  EXPECT_EQ(theGL.orient_mode, 1);
  EXPECT_EQ(theGL.line_width, 2);
  EXPECT_EQ(theGL.ref_height, 480.0);
  EXPECT_EQ(theGL.zoom, 1.0);
  EXPECT_EQ(theGL.walk_fovy, 60.0);
  EXPECT_EQ(theGL.walk_pos.z, 0.05);
  EXPECT_EQ(theGL.walk_dir.y, 1.0);
  EXPECT_STREQ(theGL.texture_file, "papertexture.bmp");
}

TEST(ViewFit, SquareBesideThePanelAndFourToThreeWhenAsked) {
  EXPECT_EQ(fit(800, 600, false, false).width, 600);
  EXPECT_EQ(fit(800, 600, false, false).height, 600);
  EXPECT_EQ(fit(500, 900, false, false).height, 500);
  const Fitted exact = fit(800, 600, false, true);
  EXPECT_EQ(exact.width, 800);
  EXPECT_EQ(exact.height, 600);
  const Fitted wide = fit(1000, 600, false, true);
  EXPECT_EQ(wide.width, 800);
  EXPECT_EQ(wide.height, 600);
  const Fitted tall = fit(800, 1000, false, true);
  EXPECT_EQ(tall.width, 800);
  EXPECT_EQ(tall.height, 600);
}

TEST(ViewFit, FullScreenIsFourToThreeToo) {
  const Fitted sxga = fit(1280, 1024, true, false);
  EXPECT_EQ(sxga.width, 1280);
  EXPECT_EQ(sxga.height, 960);
  const Fitted hd = fit(1920, 1080, true, true);
  EXPECT_EQ(hd.width, 1440);
  EXPECT_EQ(hd.height, 1080);
}

TEST(ViewFit, AnEmptyAreaStillGivesAWindow) {
  for (bool full : {false, true}) {
    for (bool fixed : {false, true}) {
      const Fitted f = fit(0, 0, full, fixed);
      EXPECT_GE(f.width, 1);
      EXPECT_GE(f.height, 1);
    }
  }
}

TEST(ViewPan, OnePixelOfDragIsOnePixelInTheTopCamera) {
  // The Top camera shows 2 / zoom units over the window height.
  theGLstruct gl = viewAt(480, 480);
  gl.pan_press_x = 100;
  gl.pan_cur_x = 76;  // dragged 24 pixels to the left
  gl.pan_press_y = 50;
  gl.pan_cur_y = 50;
  double px, py;
  oriGLPanOffset(&gl, &px, &py);
  EXPECT_DOUBLE_EQ(px, 24 * 2.0 / 480);
  EXPECT_DOUBLE_EQ(py, 0.0);
  // Committed pan adds in; zoom scales down.
  gl.pan_y = 48;
  gl.zoom = 2.0;
  oriGLPanOffset(&gl, &px, &py);
  EXPECT_DOUBLE_EQ(px, 24 * 1.0 / 480);
  EXPECT_DOUBLE_EQ(py, 48 * 1.0 / 480);
  gl.height = 0;
  oriGLPanOffset(&gl, &px, &py);
  EXPECT_TRUE(std::isfinite(px) && std::isfinite(py));
}

TEST(ViewFrame, LaysTheThreeAxisVerticesOnTheTable) {
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 3, 2, 2)));
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  ASSERT_NE(om->axis_origin, nullptr);
  ASSERT_NE(om->axis_x, nullptr);
  ASSERT_NE(om->axis_xy, nullptr);
  moveRigidly(om);
  input(om->center, 0.1, -0.2, 0.0);

  ASSERT_EQ(oriGLUpdateModelMatrix(om), kOriFrameSet);
  const double* m = om->model_matrix;
  const vector3d p0 = shown(m, om->axis_origin->pos);
  const vector3d p1 = shown(m, om->axis_x->pos);
  const vector3d p2 = shown(m, om->axis_xy->pos);
  EXPECT_NEAR(p0.z, 0.0, 1e-12);
  EXPECT_NEAR(p1.z, 0.0, 1e-12);
  EXPECT_NEAR(p2.z, 0.0, 1e-12);
  EXPECT_NEAR(p1.y, p0.y, 1e-12);  // p0 → p1 is the x axis
  EXPECT_GT(p1.x, p0.x);
  EXPECT_GT(p2.y, p0.y);  // the third vertex on the +y side
  // The fixed facet's centroid is shown over the pivot.
  vector3d g = {0, 0, 0};
  int n = 0;
  const ORI_edge* e = om->center_face->first;
  do {
    g += e->vert->pos;
    ++n;
    e = e->next;
  } while (e != om->center_face->first);
  g /= n;
  const vector3d gc = shown(m, g);
  EXPECT_NEAR(gc.x, 0.1, 1e-12);
  EXPECT_NEAR(gc.y, -0.2, 1e-12);
  // A rotation: the paper keeps its size (side 1 in the pattern plane).
  EXPECT_NEAR(std::hypot(p1.x - p0.x, p1.y - p0.y), 1.0, 1e-12);
  oriManifoldDelete(om);
}

TEST(ViewFrame, DegenerateAxesKeepTheFrameAndNoOriginResetsIt) {
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 3, 2, 2)));
  ASSERT_NE(om, nullptr);
  oriManifoldPrepare(om, 0);
  double before[16];
  for (int i = 0; i < 16; ++i) om->model_matrix[i] = before[i] = 0.5 + i;

  ORI_vert* x_vertex = om->axis_x;
  om->axis_x = om->axis_origin;  // coincident
  EXPECT_EQ(oriGLUpdateModelMatrix(om), kOriFrameKept);
  EXPECT_EQ(std::memcmp(before, om->model_matrix, sizeof before), 0);

  // Collinear: the plane vertex on the line through the other two.
  om->axis_x = x_vertex;
  om->axis_xy->pos = om->axis_origin->pos;
  om->axis_xy->pos += om->axis_x->pos;
  om->axis_xy->pos *= 0.5;
  EXPECT_EQ(oriGLUpdateModelMatrix(om), kOriFrameKept);
  EXPECT_EQ(std::memcmp(before, om->model_matrix, sizeof before), 0);

  om->axis_xy = nullptr;  // between two picks
  EXPECT_EQ(oriGLUpdateModelMatrix(om), kOriFrameKept);
  EXPECT_EQ(std::memcmp(before, om->model_matrix, sizeof before), 0);

  om->axis_origin = nullptr;
  EXPECT_EQ(oriGLUpdateModelMatrix(om), kOriFrameIdentity);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(om->model_matrix[i], i % 5 == 0 ? 1.0 : 0.0) << i;
  oriManifoldDelete(om);
}

TEST(ViewCamera, ObjectFieldOfViewStaysAPicture) {
  EXPECT_DOUBLE_EQ(oriGLObjectFovy(1.0), 40.0);
  EXPECT_DOUBLE_EQ(oriGLObjectFovy(2.0), 20.0);
  EXPECT_DOUBLE_EQ(oriGLObjectFovy(0.1), kOriMaxFovy);  // 400 degrees would be meaningless
  EXPECT_DOUBLE_EQ(oriGLObjectFovy(0.0), kOriMaxFovy);
  EXPECT_GT(oriGLObjectFovy(-1.0), 0.0);
}

TEST(ViewTitle, SizeAndFrameNumberWithTwoSpaces) {
  char buf[64];
  oriGLWindowTitle(buf, sizeof buf, 600, 480, 7);
  EXPECT_STREQ(buf, "Plicata [600, 480]  00007 frames");
  oriGLWindowTitle(buf, sizeof buf, 1, 1, 123456);
  EXPECT_STREQ(buf, "Plicata [1, 1]  123456 frames");
}

// Fit in the crease-pattern view from above: the pattern ends up centred,
// its widest reach at nine tenths of the half-height (the pan is kept in
// whole pixels), whatever pan, drag or zoom came before; the Walk camera
// has nothing to frame.
TEST(ViewFitModel, FramesTheCreasePatternFromAbove) {
  ORI_manifold* om = loadOpxText(opxText(degree4Vertex(2, 3, 2, 2)));
  ASSERT_NE(om, nullptr);
  theGLstruct gl = viewAt(640, 480);
  gl.view_mode = 2;
  gl.cp_mode = 1;
  gl.zoom = 7.0;
  gl.pan_x = 300;
  gl.pan_press_x = 40;  // a drag in progress
  gl.pan_cur_x = 10;
  ASSERT_TRUE(oriGLFitView(&gl, om));
  double px, py;
  oriGLPanOffset(&gl, &px, &py);
  const double aspect = 640.0 / 480.0, pixel = 2.0 / gl.zoom / 480.0;
  double lo_x = HUGE_VAL, hi_x = -HUGE_VAL, lo_y = HUGE_VAL, hi_y = -HUGE_VAL, reach = 0.0;
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    lo_x = std::fmin(lo_x, e->x0), hi_x = std::fmax(hi_x, e->x0);
    lo_y = std::fmin(lo_y, e->y0), hi_y = std::fmax(hi_y, e->y0);
    reach = std::fmax(reach, std::fmax(std::fabs(e->x0 - px) * gl.zoom / aspect, std::fabs(e->y0 - py) * gl.zoom));
  }
  EXPECT_NEAR(px, 0.5 * (lo_x + hi_x), pixel);
  EXPECT_NEAR(py, 0.5 * (lo_y + hi_y), pixel);
  EXPECT_NEAR(reach, kOriFitFill, 2.0 * pixel * gl.zoom);
  gl.view_mode = 1;
  EXPECT_FALSE(oriGLFitView(&gl, om));
  oriManifoldDelete(om);
}
