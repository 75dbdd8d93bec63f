#include "app/timer.h"

#include <GL/freeglut.h>

#include <string>

#include "app/app_state.h"
#include "app/fold_readout.h"
#include "app/fold_recording.h"
#include "app/motion.h"
#include "app/program.h"
#include "geometry/message.h"
#include "render/view_state.h"

namespace {

// Periods of the ticks, milliseconds; each tick's value is its period.
constexpr int kWalkTick = 10, kFoldTick = 50, kSlowTick = 1000;

}  // namespace

void Step(double step) {
  if (appManifold() == nullptr) return;
  appFoldRecordingPoll(the.save_model);
  appSyncRecording();
  // Before the step: a screen capture recorded within it draws the marks of
  // the new shape.
  appReadoutChanged();
  const ORI_result r = oriSheetStepBy(the.sheet, step, nullptr);
  // A step the sheet refuses (along a mode the shape lacks, past the end of
  // its motion, or the compliant solver given a facet of more than three
  // sides) is refused on every tick the key is held: said once.
  static std::string refused;
  if (r.code == kOriFailRecord) {
    oriMessage("cannot record the frame for %s: the shape is not finite\n", r.subject.c_str());
  } else if (r.code == kOriFailArgument || r.code == kOriFailSolve) {
    if (oriResultText(r) != refused) oriMessage("%s\n", oriResultText(r).c_str());
    refused = oriResultText(r);
  } else {
    refused.clear();
  }
  appPostRedraw();
  glutSetWindow(the.sub_window);
}

void TimerFunc(int value) {
  switch (value) {
    case kWalkTick:
      if (appWalkZoomTick(&theGL)) appPostRedraw();
      glutTimerFunc(kWalkTick, TimerFunc, kWalkTick);
      break;
    case kFoldTick: {
      double step = 0.0;
      if (appFoldTickStep(&theGL, the.fold_step, &step)) Step(step);
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
