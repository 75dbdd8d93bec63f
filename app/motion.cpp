#include "app/motion.h"

#include <cmath>

#include "render/view_state.h"

namespace {

// A quarter turn: sideways is the heading turned left by this.
constexpr double kSidewaysDegrees = 90.0;

}  // namespace

bool appWalkZoomTick(theGLstruct* gl) {
  if (gl->view_mode == 1) {
    const bool held = gl->hold_up || gl->hold_down || gl->hold_left || gl->hold_right || gl->hold_slash ||
                      gl->hold_backslash;
    if (!held && std::fabs(gl->walk_speed) < kAppWalkRest && std::fabs(gl->walk_turn) < kAppWalkRest &&
        std::fabs(gl->walk_side) < kAppWalkRest) {
      gl->walk_speed = gl->walk_turn = gl->walk_side = 0.0;
      return false;
    }
    if (gl->hold_up) gl->walk_speed += kAppWalkAccel;
    if (gl->hold_down) gl->walk_speed -= kAppWalkAccel;
    if (gl->hold_left) gl->walk_turn += kAppWalkTurnAccel;
    if (gl->hold_right) gl->walk_turn -= kAppWalkTurnAccel;
    if (gl->hold_slash) gl->walk_side += kAppWalkAccel;
    if (gl->hold_backslash) gl->walk_side -= kAppWalkAccel;
    gl->walk_pos += gl->walk_speed * gl->walk_dir;
    rotz(gl->walk_dir, gl->walk_turn);
    vector3d side = gl->walk_dir;
    rotz(side, kSidewaysDegrees);
    gl->walk_pos += gl->walk_side * side;
    gl->walk_speed *= kAppWalkDecay;
    gl->walk_turn *= kAppWalkDecay;
    gl->walk_side *= kAppWalkDecay;
    return true;
  }
  if (gl->hold_up) gl->zoom *= kAppZoomIn;
  if (gl->hold_down) gl->zoom *= kAppZoomOut;
  if (!(gl->zoom >= kAppZoomMin)) gl->zoom = kAppZoomMin;  // also a zoom that is not a number
  if (gl->zoom > kAppZoomMax) gl->zoom = kAppZoomMax;
  return gl->hold_up || gl->hold_down;
}

bool appFoldTickStep(const theGLstruct* gl, int fold_step, double* step) {
  if (gl->hold_space) {
    *step = fold_step * kAppHeldStepFactor;
    return true;
  }
  if (gl->hold_b) {
    *step = -fold_step * kAppHeldStepFactor;
    return true;
  }
  return false;
}

double appButtonStep(int fold_step, bool forward) {
  return (forward ? fold_step : -fold_step) * kAppButtonStepFactor;
}
