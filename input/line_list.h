// The line list of a crease pattern: plain 2D segments with a line type, as
// read from drawings and written as crease-pattern XML.
#pragma once

#include <cmath>

#include "geometry/list.h"

struct Line {
  double x0, y0;  // first end point
  double x1, y1;  // second end point
  int type;       // line type of the crease-pattern file: 0, 1 flat; 2, 3 the fold types
  double target = NAN;  // fold target the file gives (radians, valley positive); NaN: the type's
};

struct CreasePattern {
  List* lines;        // elements are Line pointers; the first sits in the head node
  double paper_size;  // side of the paper in output units; 400.0 from construction
};

// A new empty pattern: an empty head node and paper_size 400.0.
CreasePattern* CreasePatternNew();

// A new Line owned by the caller until it is handed to a pattern's list; its
// target is the type's (NaN).
Line* LineNew(double x0, double y0, double x1, double y1, int type);

// Appends a copy of a line at the end of the pattern's list. warning: O(n);
// builders that append many lines keep the last node and call listAdd.
Line* CreasePatternAddLine(CreasePattern* cp, double x0, double y0, double x1, double y1, int type);

// Releases the list nodes, the Line records still in the list, and the
// pattern. Null is allowed.
void CreasePatternDestruct(CreasePattern* cp);
