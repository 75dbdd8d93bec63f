// capture_probe: opens the window program's own windows on a pattern, folds
// it by a fraction of its targets or by fold steps if asked, and after a
// delay captures the
// drawing window with ScreenSaveBMP. It then prints the drawing window's
// size and its position on the screen, and keeps the windows up for a while
// so that a screenshot can be compared with the capture.
//
//   capture_probe PATTERN OUT.bmp [--fold F] [--steps N] [--delay MS]
//                 [--hold MS] [--view V] [--azimuth A] [--elevation E]
//                 [--cp 0|1] [--orient O] [--crease 0|1]
//
// --steps takes N fold steps as plicata-fold does (fold step 10, "CG");
// --azimuth and --elevation turn the Object camera as a right-button drag
// does.
// --view, --cp, --orient and --crease set the camera (0 Object, 1 Walk,
// 2 Top), the crease-pattern view, the orientation mode (2 shows the axis
// markers) and the grey lines, as the panel will.
// Output line: "capture W H X Y" (size and root position of the drawing
// window). The triangulation answer is read from standard input.
#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/file_open.h"
#include "app/program.h"
#include "app/window_capture.h"
#include "geometry/manifold.h"
#include "render/view_state.h"
#include "sheet/sheet.h"
#include "sim/kinematics.h"

namespace {

std::string out_file;
int hold_ms = 10000;

void quit(int) { glutLeaveMainLoop(); }

void capture(int) {
  ScreenSaveBMP(out_file.c_str());
  // The drawing window's position is relative to the main window's.
  glutSetWindow(the.main_window);
  const int main_x = glutGet(GLUT_WINDOW_X), main_y = glutGet(GLUT_WINDOW_Y);
  glutSetWindow(the.sub_window);
  std::printf("capture %d %d %d %d\n", glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT),
              main_x + glutGet(GLUT_WINDOW_X), main_y + glutGet(GLUT_WINDOW_Y));
  std::fflush(stdout);
  glutTimerFunc(static_cast<unsigned>(hold_ms), quit, 0);
}

// Every line at fraction × its target: rigid for patterns without inner
// vertices (an accordion), which is what the probe is used with.
void fold(ORI_manifold* om, double fraction) {
  for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    ORI_edge* e = static_cast<ORI_edge*>(l->data);
    e->angle = e->target_angle * fraction;
  }
  oriManifoldUpdate(om, om->center_face);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: capture_probe PATTERN OUT.bmp [--fold F] [--steps N] [--delay MS] [--hold MS] [--view V]\n"
                 "                     [--azimuth A] [--elevation E] [--cp 0|1] [--orient O] [--crease 0|1]\n");
    return 2;
  }
  out_file = argv[2];
  double fraction = 0.0;
  int steps = 0;
  int delay_ms = 1500;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--fold") == 0) fraction = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--steps") == 0) steps = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--delay") == 0) delay_ms = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--hold") == 0) hold_ms = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--view") == 0) theGL.view_mode = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--azimuth") == 0) theGL.azimuth = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--elevation") == 0) theGL.elevation = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--cp") == 0) theGL.cp_mode = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--orient") == 0) theGL.orient_mode = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--crease") == 0) theGL.draw_crease = std::atoi(argv[i + 1]);
  }
  FileOpen(argv[1]);
  if (appManifold() == nullptr) return 1;
  if (fraction != 0.0) fold(appManifold(), fraction);
  for (int k = 0; k < steps; ++k) oriSheetStepBy(appSheet(), 10 * 0.05, nullptr);

  int glut_argc = 1;
  OpenWindows(&glut_argc, argv);
  glutTimerFunc(static_cast<unsigned>(delay_ms), capture, 0);
  glutMainLoop();
  return 0;
}
