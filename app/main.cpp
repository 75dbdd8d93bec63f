// plicata: the window program. The first pattern is loaded through the
// terminal dialogue before any window exists; then the windows open and the
// window system's main loop runs the rest.
#include <GL/freeglut.h>

#include <cstdio>

#include "app/app_state.h"
#include "app/file_open.h"
#include "app/fold_recording.h"
#include "app/program.h"
#include "geometry/message.h"

int main(int argc, char** argv) {
  // Unbuffered even into a pipe: progress lines show as they happen, and a
  // prompt is out before standard input is read.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // The core's messages and the window's own go to standard output, in
  // the order they are said.
  oriSetMessageSink(oriMessageToStdout, nullptr);
  // Input that ends before a pattern is open leaves nothing to show.
  if (FileOpen(argc > 1 ? argv[1] : nullptr) != kFileOpenLoaded) return 1;
  OpenWindows(&argc, argv);
  glutMainLoop();
  appFoldRecordingStop();
  appSheetDelete();
  return 0;
}
