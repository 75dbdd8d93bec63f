// The ticks of the animation on copies of the view state.
#include "app/motion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "render/view_state.h"

TEST(Motion, ArrowsZoomOutsideTheWalkViewWithinBounds) {
  theGLstruct gl = theGL;
  gl.hold_up = 1;
  appWalkZoomTick(&gl);
  EXPECT_DOUBLE_EQ(gl.zoom, 1.05);
  gl.hold_down = 1;
  appWalkZoomTick(&gl);
  EXPECT_DOUBLE_EQ(gl.zoom, 1.05 * 1.05 * 0.95);
  gl.hold_down = 0;
  for (int i = 0; i < 2000; ++i) appWalkZoomTick(&gl);
  EXPECT_EQ(gl.zoom, kAppZoomMax) << "held for 20 s";
  gl.hold_up = 0;
  gl.hold_down = 1;
  for (int i = 0; i < 2000; ++i) appWalkZoomTick(&gl);
  EXPECT_EQ(gl.zoom, kAppZoomMin);
  EXPECT_EQ(gl.walk_pos.y, theGL.walk_pos.y) << "no walking outside the Walk view";
}

TEST(Motion, WalkSpeedsUpMovesAndCoasts) {
  theGLstruct gl = theGL;
  gl.view_mode = 1;
  gl.hold_up = 1;
  appWalkZoomTick(&gl);
  EXPECT_DOUBLE_EQ(gl.walk_pos.y, -1.0 + 0.0001);
  EXPECT_DOUBLE_EQ(gl.walk_speed, 0.0001 * 0.99);
  EXPECT_EQ(gl.zoom, 1.0);
  gl.hold_up = 0;
  appWalkZoomTick(&gl);
  EXPECT_DOUBLE_EQ(gl.walk_speed, 0.0001 * 0.99 * 0.99);

  // A turn to the left and a step to the side, which is the heading turned
  // a quarter to the left.
  theGLstruct turn = theGL;
  turn.view_mode = 1;
  turn.hold_left = 1;
  turn.hold_slash = 1;
  appWalkZoomTick(&turn);
  const double a = 0.01 * 3.141592653589793 / 180.0;
  EXPECT_NEAR(turn.walk_dir.x, -std::sin(a), 1e-12);
  EXPECT_NEAR(turn.walk_pos.x, theGL.walk_pos.x - 0.0001 * std::cos(a), 1e-12);
  EXPECT_NEAR(turn.walk_turn, 0.01 * 0.99, 1e-15);
}

TEST(Motion, FoldTickAndButtonSteps) {
  theGLstruct gl = theGL;
  double step = 7.0;
  EXPECT_FALSE(appFoldTickStep(&gl, 10, &step));
  EXPECT_EQ(step, 7.0);
  gl.hold_b = 1;
  ASSERT_TRUE(appFoldTickStep(&gl, 10, &step));
  EXPECT_DOUBLE_EQ(step, -0.5);
  gl.hold_space = 1;
  ASSERT_TRUE(appFoldTickStep(&gl, 10, &step));
  EXPECT_DOUBLE_EQ(step, 0.5) << "space wins";
  ASSERT_TRUE(appFoldTickStep(&gl, 0, &step));
  EXPECT_EQ(step, 0.0);
  EXPECT_DOUBLE_EQ(appButtonStep(10, true), 2.0);
  EXPECT_DOUBLE_EQ(appButtonStep(10, false), -2.0);
  EXPECT_EQ(appButtonStep(0, false), 0.0);
}

// The window redraws only when a tick reports a move: a tick with nothing
// held must say so, and a coasting walk must come to rest, or an idle
// window would keep redrawing.
TEST(Motion, TicksComeToRest) {
  theGLstruct gl = theGL;
  EXPECT_FALSE(appWalkZoomTick(&gl));
  gl.hold_down = 1;
  EXPECT_TRUE(appWalkZoomTick(&gl));

  theGLstruct walk = theGL;
  walk.view_mode = 1;
  walk.hold_up = 1;
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(appWalkZoomTick(&walk));
  walk.hold_up = 0;
  int coasting = 0;
  while (appWalkZoomTick(&walk) && coasting < 100000) ++coasting;
  EXPECT_GT(coasting, 0);
  EXPECT_LT(coasting, 100000) << "the walk never comes to rest";
  const double y = walk.walk_pos.y;
  EXPECT_FALSE(appWalkZoomTick(&walk));
  EXPECT_EQ(walk.walk_pos.y, y);
}
