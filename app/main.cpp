// plicata: the window program. The first pattern is loaded through the
// terminal dialogue before any window exists; then the windows open and the
// window system's main loop runs the rest.
#include <GL/freeglut.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/file_open.h"
#include "app/fold_recording.h"
#include "app/program.h"
#include "app/x_display.h"
#include "geometry/message.h"
#include "sim/sim_step.h"

namespace {

const char kUsage[] =
    "usage: plicata [PATTERN]\n"
    "\n"
    "Opens the crease pattern PATTERN in a window and folds it rigidly; the reader\n"
    "is chosen by what the name contains: .opx or .xml (XML), .dxf, .fold, .svg, .cp.\n"
    "Without PATTERN, or when it cannot be opened, the terminal asks for a file name.\n"
    "A PATTERN that is no file where it is given is looked for in the bundled\n"
    "examples (PLICATA_EXAMPLES names another folder): plicata miura_4x4.opx\n"
    "Facets of more than three sides: the terminal asks whether to cut them into\n"
    "triangles (Enter: yes).\n"
    "\n"
    "In the window: h shows every key, f fits the model in the view, q or Esc quits\n"
    "(a FOLD recording is written as when the window is closed).\n"
    "The window needs an X display; plicata-fold folds and draws without one.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  print the version and stop\n";

}  // namespace

int main(int argc, char** argv) {
  const char* first = argc > 1 ? argv[1] : nullptr;
  if (first != nullptr && (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (first != nullptr && std::strcmp(first, "--version") == 0) {
    std::printf("plicata %s\n", PLICATA_VERSION);
    return 0;
  }
  if (first != nullptr && std::strncmp(first, "--", 2) == 0) {
    std::fprintf(stderr, "plicata: unknown option %s (see plicata --help)\n", first);
    return 2;
  }
  // Nothing is asked on the terminal for a window that cannot open.
  std::string why;
  if (!appDisplayAvailable(&why)) {
    std::fprintf(stderr, "plicata: %s: the window cannot open (plicata-fold folds without one)\n", why.c_str());
    return 1;
  }
  // Unbuffered even into a pipe: progress lines show as they happen, and a
  // prompt is out before standard input is read.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // The core's messages and the window's own go to standard output, in
  // the order they are said.
  oriSetMessageSink(oriMessageToStdout, nullptr);
  // The library's helper threads start only when a dense system needs them.
  oriSimHoldBlasThreads();
  // Input that ends before a pattern is open leaves nothing to show.
  if (FileOpen(first) != kFileOpenLoaded) return 1;
  OpenWindows(&argc, argv);
  glutMainLoop();
  // The end of the main loop: the window closed, 'q', Esc or "Quit".
  appFoldRecordingStop();
  appSheetDelete();
  return 0;
}
