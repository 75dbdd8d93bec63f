// The key map on copies of the state records.
#include "app/key_map.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/app_state.h"
#include "render/view_state.h"

namespace {

struct Keys : testing::Test {
  the_struct app = the;
  theGLstruct gl = theGL;
  AppKeyCommand press(unsigned char key) { return appKeyPressed(key, &app, &gl); }
};

}  // namespace

TEST_F(Keys, HoldKeysRaiseTheirFlagUntilReleased) {
  const struct {
    unsigned char key;
    unsigned char theGLstruct::*flag;
  } holds[] = {{' ', &theGLstruct::hold_space},
               {'b', &theGLstruct::hold_b},
               {'/', &theGLstruct::hold_slash},
               {'\\', &theGLstruct::hold_backslash}};
  for (const auto& h : holds) {
    press(h.key);
    EXPECT_EQ(gl.*h.flag, 1) << h.key;
    appKeyReleased('x', &gl);
    EXPECT_EQ(gl.*h.flag, 1) << "another key's release leaves " << h.key << " held";
    appKeyReleased(h.key, &gl);
    EXPECT_EQ(gl.*h.flag, 0) << h.key;
  }
  for (int key : {kAppKeyLeft, kAppKeyUp, kAppKeyRight, kAppKeyDown}) {
    appSpecialKey(key, true, &gl);
  }
  EXPECT_TRUE(gl.hold_left && gl.hold_up && gl.hold_right && gl.hold_down);
  appSpecialKey(kAppKeyUp, false, &gl);
  EXPECT_TRUE(gl.hold_left && !gl.hold_up);
}

TEST_F(Keys, CameraKeysLeaveTheCreasePatternSwitchAlone) {
  gl.cp_mode = 1;
  press('c');
  EXPECT_EQ(gl.view_mode, 2);
  press('p');
  EXPECT_EQ(gl.view_mode, 1);
  press('o');
  EXPECT_EQ(gl.view_mode, 0);
  EXPECT_EQ(gl.cp_mode, 1);
}

TEST_F(Keys, ToggleAndStepKeys) {
  press('e');
  EXPECT_EQ(gl.draw_edge, 0);
  press('e');
  EXPECT_EQ(gl.draw_edge, 1);
  press('S');
  EXPECT_EQ(app.save_screen, 1);
  press('S');
  EXPECT_EQ(app.save_screen, 0);
  press('u');
  EXPECT_DOUBLE_EQ(gl.walk_pos.z, 0.05 + 0.0125);
  press('d');
  press('d');
  EXPECT_DOUBLE_EQ(gl.walk_pos.z, 0.05 - 0.0125);

  gl.walk_fovy = 170.0;
  press('w');
  EXPECT_EQ(gl.walk_fovy, 175.0);
  press('w');
  EXPECT_EQ(gl.walk_fovy, 175.0);
  gl.walk_fovy = 5.0;
  press('t');
  EXPECT_EQ(gl.walk_fovy, 5.0);
}

TEST_F(Keys, CaseMattersAndOtherKeysChangeNothing) {
  // Byte copies, so that the comparison below sees the padding alike.
  the_struct app_before;
  theGLstruct gl_before;
  std::memcpy(&app_before, &app, sizeof app);
  std::memcpy(&gl_before, &gl, sizeof gl);
  for (unsigned char key : {'E', 'O', 'C', 's', 'g', 'm', 'Q', '1', '\r'}) {
    EXPECT_EQ(press(key), kAppKeyNoCommand) << key;
  }
  EXPECT_EQ(std::memcmp(&app, &app_before, sizeof app), 0);
  EXPECT_EQ(std::memcmp(&gl, &gl_before, sizeof gl), 0);
  EXPECT_EQ(press('F'), kAppKeyFullScreen);
  EXPECT_EQ(press('M'), kAppKeyFitAspect);
  EXPECT_EQ(press('f'), kAppKeyFit);
  EXPECT_EQ(press('q'), kAppKeyQuit);
  EXPECT_EQ(press(kAppKeyEscape), kAppKeyQuit);
}

TEST(KeyMap, FittingLeavesA640WideDrawingArea) {
  // A 710-wide window with a 240-wide panel: 470 × 500 free, so the whole
  // free width is replaced by 640.
  EXPECT_EQ(appFitAspectWidth(710, 470, 500, 640.0, 480.0), 880);
  // A wide, low window: the free height decides (300 / 480 × 640 = 400).
  EXPECT_EQ(appFitAspectWidth(1200, 960, 300, 640.0, 480.0), 1440);
}
