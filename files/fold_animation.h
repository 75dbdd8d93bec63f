// A folding recorded for playback elsewhere: the sheet's triangles, lines
// and flat pattern once, and the folded vertex positions of every recorded
// step. The glTF file (files/gltf_export.h) and the web page
// (files/html_export.h) are written from it.
//
// A caller does: anim = oriFoldAnimationBegin(om) once the mesh is prepared
// (it records the shape then, as step 0); oriFoldAnimationFrame(anim, om,
// step) after each step; a writer; oriFoldAnimationDelete(anim).
//
// Memory stays bounded on long runs: at most kOriAnimationMaxFrames frames
// (fewer on a very large sheet, kOriAnimationMaxFloats positions in all) are
// kept. When a run outgrows them, every other kept frame is dropped and
// from then on only every 2nd (4th, ...) step is kept, so the frames stay
// evenly spread over the run; the last step offered is always kept.
#pragma once

#include <vector>

struct ORI_manifold;

// Most frames kept, and most positions (3 per vertex per frame) in all.
constexpr int kOriAnimationMaxFrames = 512;
constexpr long kOriAnimationMaxFloats = 32L * 1024 * 1024;

// What a line of the sheet is, as the pattern's line types say.
enum OriLineKind {
  kOriLineMountain = 0,  // negative target: folds towards the viewer of the front
  kOriLineValley = 1,    // positive target
  kOriLineOutline = 2,   // the paper's edge (or a hole's)
  kOriLineFlat = 3,      // a line that is flat by target (no tessellation diagonal)
};
constexpr int kOriLineKinds = 4;

struct ORI_fold_animation {
  int n_vert = 0;                 // vertices, by ORI_vert::index
  std::vector<int> triangles;     // 3 vertex numbers per triangle, counter-clockwise seen from the front
  std::vector<int> facets;        // per triangle: its facet, the triangles joined by tessellation diagonals
  int n_facets = 0;
  std::vector<int> lines;         // 2 vertex numbers per line: tail, head
  std::vector<unsigned char> line_kinds;  // per line: an OriLineKind
  std::vector<int> line_facets;   // per line: the facet of a face beside it
  std::vector<double> flat;       // 2 per vertex: the flat pattern, file units, y up
  double front_rgb[3] = {1, 1, 1};  // the paper's sides in the window's colours (sRGB, 0 to 1),
  double back_rgb[3] = {1, 1, 1};   // lit by half, away from creases
  std::vector<float> frames;      // 3 per vertex per kept frame: folded positions, file units
  std::vector<long> steps;        // per kept frame: the step it shows
  long offered = 0;               // frames offered, the first included
  long stride = 1;                // a frame offered is kept when its number is a multiple
  bool last_provisional = false;  // the last kept frame is off the stride (kept as the newest)
  int max_frames = kOriAnimationMaxFrames;
  std::vector<float> scratch;     // one frame being read, kept between steps
};

// Starts a recording of om (a built, numbered mesh) with its present shape
// as its first frame, showing step (the steps taken before, for a run that
// goes on from an earlier pattern). Null when om has no face to show or a position is not a finite
// number. cost: linear in the mesh (faces of more than three sides are cut
// as oriFaceTriangles cuts them).
ORI_fold_animation* oriFoldAnimationBegin(const ORI_manifold* om, long step = 0);

// Offers the present shape of om (the mesh the recording began with) as
// step, which comes after the steps offered before. Returns 0; -1 and nothing recorded when om's vertex count differs
// or a position is not a finite number.
int oriFoldAnimationFrame(ORI_fold_animation* anim, const ORI_manifold* om, long step);

// Sets the sides' colours from colour sets of the paper colour rule
// (geometry/paper_color.h: 12 numbers a side), lit by half, away from
// creases. Begin takes them from om.
void oriFoldAnimationSetColors(ORI_fold_animation* anim, const double front[12], const double back[12]);

// Frames kept.
int oriFoldAnimationFrameCount(const ORI_fold_animation* anim);

// The box of every kept frame's positions, file units: lo[3], hi[3].
void oriFoldAnimationBox(const ORI_fold_animation* anim, double lo[3], double hi[3]);

// Frees the recording; null is allowed.
void oriFoldAnimationDelete(ORI_fold_animation* anim);
