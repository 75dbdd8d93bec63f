// A recorded folding (files/fold_animation.h) as binary glTF 2.0 (.glb),
// the format 3D tools and web pages read.
//
// What is written (one scene, one node "Plicata fold" with one mesh):
//  - the sheet twice over the same positions: a primitive of the front
//    (counter-clockwise seen from the front) in the front's colour and one of
//    the back (every triangle reversed) in the back's colour, both single
//    sided, so that each side of the paper shows its own colour and shading;
//  - the lines as LINES primitives, one per kind present (mountain red,
//    valley blue, outline black, flat grey), over the same positions;
//  - the folding as morph targets, one per recorded step after the first,
//    and one animation "fold" whose LINEAR weights sampler moves from target
//    to target at fps frames a second, so that a player interpolates between
//    recorded steps;
//  - positions in metres: file units times scale; x, y, z as the OBJ files
//    give them (the front faces +z before folding);
//  - with normals: each facet's corners are vertices of their own, with the
//    facet's normal (the back's reversed) in the base and in every target,
//    so that shading breaks at every fold line as the paper does. Without:
//    the vertices are shared, no NORMAL is written, and glTF has a player
//    compute each triangle's flat normal, which for rigid facets is the same
//    picture at about a tenth of the size (positions only per step).
// Colours are written as glTF wants them, linear: the window's colours
// converted from sRGB.
#pragma once

#include <cstdio>
#include <string>

struct ORI_fold_animation;

struct ORI_gltfOptions {
  double scale = 0.001;  // metres per file unit
  bool normals = true;   // write NORMAL (facet corners split); false: shared vertices, flat normals by the player
  double fps = 20.0;     // recorded steps per second of the animation
};

// Writes anim as a GLB document to fp (opened by the caller, not closed).
// Returns 0, or -1 with *why set: a scale or fps that is not a positive
// finite number, a document beyond glTF's 4 GiB, or a failed write.
// Memory: one frame of the output beside the recording; time linear in the
// output's size.
int oriGltfSave(const ORI_fold_animation* anim, const ORI_gltfOptions& opt, FILE* fp, std::string* why);

// The same to the file path, written aside and renamed into place (nothing
// is left under path on failure; *why then names the reason).
int oriGltfSaveFile(const ORI_fold_animation* anim, const ORI_gltfOptions& opt, const char* path, std::string* why);
