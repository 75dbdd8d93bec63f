// Pictures of a sheet for Python (a notebook shows a sheet by its PNG): the
// sheet drawn by the window's own drawing functions into Mesa's off-screen
// OpenGL, as plicata-fold --picture draws the final shape. Built into the
// extension only where the off-screen renderer is (PLICATA_OFFSCREEN); the
// core links no OpenGL.
#pragma once

#include <string>
#include <vector>

namespace plicata {

class Sheet;

struct PictureOptions {
  int width = 640, height = 480;          // pixels, 1 to 8192 each
  int view = 0;                           // an OriPictureView: 0 folded model, 1 from above, 2 crease pattern
  double azimuth = 0.0, elevation = 0.0;  // degrees, as a right-button drag turns the Object camera
  double zoom = 1.0;                      // 0.25 to 64: enlarges from the framing
  bool edges = true;                      // draw the lines
  bool closure = false;                   // colour by the closure map, with its legend
};

// True when this build can draw pictures.
bool picturesAvailable();

// The present shape of sheet as a PNG file's bytes, framed to itself (a
// margin of a twentieth each side at zoom 1), faces that pass through each
// other hatched in red. Pictures are drawn one at a time in the process.
// Throws std::invalid_argument for options out of range, SheetClosed,
// std::runtime_error when no off-screen context can be made or the build
// has none. cost: one frame drawn in software, width × height × 7 bytes.
std::vector<unsigned char> picturePng(const Sheet& sheet, const PictureOptions& options);

}  // namespace plicata
