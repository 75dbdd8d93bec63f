#include "app/timer.h"

#include <GL/freeglut.h>

#include <chrono>

#include "app/app_state.h"
#include "app/fold_readout.h"
#include "app/fold_recording.h"
#include "app/frame_files.h"
#include "app/motion.h"
#include "app/window_capture.h"
#include "render/view_state.h"
#include "sim/fold_step.h"
#include "sim/sim_step.h"

namespace {

// Periods of the ticks, milliseconds; each tick's value is its period.
constexpr int kWalkTick = 10, kFoldTick = 50, kSlowTick = 1000;

}  // namespace

void Step(double step, const char* option) {
  if (the.manifold == nullptr || the.sim == nullptr) return;
  appFoldRecordingPoll(the.save_model);
  AppFrameFiles files = {the.manifold, the.save_model, the.save_screen, ScreenSaveBMP};
  const ORI_frameRecorder rec = appFrameRecorder(the.save_dir, &files);
  ORISIM_stepStats stats{};
  // Before the step: a screen capture recorded within it draws the marks of
  // the new shape.
  appReadoutChanged();
  const auto start = std::chrono::steady_clock::now();
  oriFoldStep(the.sim, the.manifold, step, option, &the.frame_no, &rec, nullptr, &stats);
  // The frames recorded within the step (screen captures) are in the time;
  // they are what the user asked the step to do.
  appReadoutStep(stats, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  glutSetWindow(the.sub_window);
}

void TimerFunc(int value) {
  switch (value) {
    case kWalkTick:
      appWalkZoomTick(&theGL);
      glutTimerFunc(kWalkTick, TimerFunc, kWalkTick);
      break;
    case kFoldTick: {
      double step = 0.0;
      if (appFoldTickStep(&theGL, the.fold_step, &step)) Step(step, appStepOption(the.use_cg, the.use_rk));
      glutTimerFunc(kFoldTick, TimerFunc, kFoldTick);
      break;
    }
    case kSlowTick:
      // A cleared "Mdl" box ends the FOLD recording within a second.
      appFoldRecordingPoll(the.save_model);
      glutTimerFunc(kSlowTick, TimerFunc, kSlowTick);
      break;
    default:
      break;
  }
}
