// plicata-fold's pictures: the folding drawn without a window (an
// off-screen OpenGL context, render/offscreen.h) as PNG files, an animated
// GIF and an MP4 video, a picture before the first step and after every
// K-th step and the last.
#pragma once

#include <string>

struct ORI_manifold;
struct ORISIM_matrix;

struct FoldPictureOptions {
  std::string png_dir;  // --png: DIR/p%05d.png, numbered by step
  std::string gif;      // --gif FILE
  std::string mp4;      // --mp4 FILE
  std::string picture;  // --picture FILE: the final shape alone
  int view = 0;         // --view: an OriPictureView
  double azimuth = 0.0, elevation = 0.0;  // --azimuth, --elevation, degrees
  double zoom = 1.0;                      // --zoom
  int width = 800, height = 600;          // --size WxH
  long every = 1;                         // --every K
  int fps = 20;                           // --fps N
  bool closure = false;                   // --closure: the closure map, as the window's "Closure" shows it
  bool no_edges = false;                  // --no-edges: no lines, as the window's "Draw Edge" off
  bool strain = false;                    // --strain: the strain map (how far the paper stretched)
  bool colour = false;                    // --colour: mountains and valleys in two colours, as the window's "Colour"
  bool window_camera = false;             // --window-camera: the window's start-up camera, unframed
  long long layer_state = 1;              // --view folded: the stacking drawn (--layer-state)
  std::string shaping;  // the first option given that shapes pictures, for the check
  bool requested_sequence() const { return !png_dir.empty() || !gif.empty() || !mp4.empty(); }
  bool requested() const { return requested_sequence() || !picture.empty(); }
};

// The picture options' part of plicata-fold --help, with a note when this
// program cannot make pictures (no off-screen OpenGL in its build and no
// drawing build of it at hand).
const char* foldPicturesUsage();

// Takes argv[*i] when it is a picture option, with its value (advancing *i).
// Returns 1 when taken, 0 when it is no picture option, -1 with *error set
// for a missing or bad value, or when this build cannot make pictures. A
// build without off-screen OpenGL hands the whole command (argv, ending in
// null) to its drawing build, plicata-fold-pictures, at the first picture
// output asked for: this call then does not return.
int foldPicturesParseOption(int argc, char** argv, int* i, FoldPictureOptions* opt, std::string* error);

// After all options: false with *error set when options shape pictures but
// none is asked for.
bool foldPicturesCheck(const FoldPictureOptions& opt, std::string* error);

struct FoldPictures;

// Opens what opt asks for, for a run of total_steps steps: the off-screen
// context, the PNG directory (created if missing), the GIF and the video
// (both written aside until foldPicturesEnd). Returns null after one line
// on standard error naming the problem (too many frames for a GIF, a
// directory or file that cannot be written, no ffmpeg, no context).
FoldPictures* foldPicturesBegin(const FoldPictureOptions& opt, long total_steps);

// The picture after step (0: before the first), made when step is a
// multiple of --every or the last. As in the window, faces that pass through
// each other are hatched in the warning colour, with --closure the sheet
// shows the closure map of osm (may be null: no closure errors), with
// --strain the strain map of om. The crease
// pattern's picture is drawn and written at once, framed to the pattern. The
// folded model's pictures are framed to the whole run, which is known only
// at its end: what they show of om (positions, face normals, fold angles,
// the marks) is recorded in a temporary file, and foldPicturesEnd draws and
// writes them; memory stays at one picture's worth whatever the run's
// length (the file takes about 70 bytes per face per picture). Returns 0,
// or -1 after one line on standard error.
int foldPicturesStep(FoldPictures* fp, const ORISIM_matrix* osm, ORI_manifold* om, long step);

// Before --next opens another pattern onto om: draws and writes the
// pictures recorded of om, framed to their own box (each pattern's part of
// a run is framed apart), so that om may go. fp may be null. Returns 0, or 1
// after one line on standard error.
int foldPicturesPhaseEnd(FoldPictures* fp, ORI_manifold* om);

// Takes om as the picture after step last_step when that one has none yet
// (a fold that stopped before its last step), draws and writes the recorded
// pictures framed to the run's box (om is left in its shape), the --picture
// of om framed to itself, then finishes the GIF and the video under their
// names and frees fp. Pictures never change
// om->model_matrix, so the OBJ and FOLD files of a run are the same with
// pictures or without. Returns 0, or 1 after one line on standard error
// (nothing is left under the name).
int foldPicturesEnd(FoldPictures* fp, const ORISIM_matrix* osm, ORI_manifold* om, long last_step);

// Abandons the GIF and the video (nothing under their names) and frees fp;
// null is ignored.
void foldPicturesAbort(FoldPictures* fp);
