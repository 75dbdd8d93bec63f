// A recorded folding (files/fold_animation.h) as one self-contained web
// page: the folded model playing the fold beside its crease pattern, with
// rotate and zoom (drag, wheel), play and pause, and a slider over the
// recorded steps. Nothing is fetched: three.js (Debian's libjs-three, MIT
// licence) and its orbit controls are written into the page, and so is the
// folding.
//
// The folding is stored as 16-bit positions within the box of the whole run
// (a step of 1/65535 of the box's side, well below a pixel), the triangles,
// the lines by kind and the flat pattern, base64-encoded in the page; the
// page shades each facet flat from its own positions, both sides in their
// own colours. Its first view looks down on the front from a little to the
// right (20° round, 30° up) and fits the camera to the box of the whole run
// with a small margin, so that nothing leaves the picture while it plays.
// Size: about 8 bytes per vertex per recorded step.
//
// The page tells a test how it went: <body data-state="ready"> once the
// first picture is drawn, data-state="error" and the message shown in the
// page when something failed.
#pragma once

#include <cstdio>
#include <string>

struct ORI_fold_animation;

// Where Debian's libjs-three puts three.js.
constexpr const char* kOriThreeJsDir = "/usr/share/javascript/three";

struct ORI_htmlOptions {
  std::string title;                     // shown as the page's title (text, escaped)
  double fps = 20.0;                     // recorded steps per second while playing
  std::string three_dir = kOriThreeJsDir;  // three.min.js and examples/js/controls/OrbitControls.js
};

// Writes anim as a web page to fp (opened by the caller, not closed).
// Returns 0, or -1 with *why set: three.js missing (naming the Debian
// package), an fps that is not a positive finite number, or a failed write.
// Memory: the encoded folding, about 14 bytes per vertex per frame.
int oriHtmlSave(const ORI_fold_animation* anim, const ORI_htmlOptions& opt, FILE* fp, std::string* why);

// The same to the file path, written aside and renamed into place (nothing
// is left under path on failure).
int oriHtmlSaveFile(const ORI_fold_animation* anim, const ORI_htmlOptions& opt, const char* path, std::string* why);
