// Patterns in the exchange formats (FOLD, ".cp", SVG) written in memory,
// loading them by name, and the checks shared by their tests.
#pragma once

#include <string>
#include <vector>

#include "geometry/manifold.h"
#include "input/line_list.h"

// Builds a manifold from text through the reader that name selects, with
// the console output kept (in *printed when given). Null when it fails
// (*result gets the OriOpenResult).
ORI_manifold* loadPatternText(const std::string& text, const std::string& name, int* result = nullptr,
                              std::string* printed = nullptr);

// Reads text with reader (LineFromFold, LineFromCp, LineFromSvg) into a new
// pattern, quietly. *result gets the reader's result; the caller destroys
// the pattern.
CreasePattern* readLinesQuietly(int (*reader)(CreasePattern*, FILE*), const std::string& text, int* result,
                                std::string* printed = nullptr);

// A FOLD crease pattern: the unit square (y up) with one diagonal from
// (0, 0) to (1, 1) of the given assignment ("V", "M", ...).
std::string foldSquareWithDiagonal(const char* assignment);

// An SVG crease pattern: a black square outline (100 × 100) and one diagonal
// from its top-left to its bottom-right corner stroked with color.
std::string svgSquareWithDiagonal(const char* color);

// Folds a two-face sheet (prepared: fixed face at the identity) halfway to
// the target of its one crease and returns the z of the vertex that moves
// farthest from the plane: positive when the free face rises towards the
// viewer of the front (+z) side.
double freeCornerHeight(ORI_manifold* om);

// Expects the invariants and, for a single sheet without holes, V - L + F = 1.
void expectSoundSheet(const ORI_manifold* om);

// Expects the same counts and lines (CP ends, and fold targets of the inner
// lines: an outline line never folds) in both meshes, compared at 1e-6 of
// the paper after moving and scaling each so that its bounding box is
// centred and spans 1.
void expectSameSheet(const ORI_manifold* a, const ORI_manifold* b);

// Half-edge pairs (lines) whose target is positive, negative.
int positiveFoldLines(const ORI_manifold* om);
int negativeFoldLines(const ORI_manifold* om);

// The whole content of a file ("" when it cannot be read).
std::string slurpFile(const std::string& path);
