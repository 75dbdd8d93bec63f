// Reading the straight segments of a DXF drawing into a line list: LINE
// entities and the segments of POLYLINE entities, typed by their colour.
#pragma once

#include <cstdio>

struct CreasePattern;

// Colour by layer: the DXF colour of an entity that names none.
constexpr int kDxfColorByLayer = 256;

// The line type of a DXF colour number (AutoCAD colour index): 1 and 10-39
// (reds) fold as type 3; 5 and 140-199 (blues) as type 2; 3 and 60-129
// (greens) are type 1; every other colour, by-layer included, is type 0.
int dxfColorLineType(int color);

// Reads the LINE and POLYLINE entities of the DXF text fp (read from where
// it stands to its end; not closed) and appends one Line per segment to cp,
// which is expected empty. y is negated as it is read (DXF y runs up, the
// pattern's down). A closed polyline (bit 0 of group 70) gets a segment from
// its last vertex back to the first; an entity other than VERTEX or SEQEND
// inside a polyline ends it and is read as an entity of its own. A LINE or a
// vertex without one of its coordinates, or with one that is not a finite
// number, is dropped (counted and reported). Prints "numedge:%d\n" (segments
// made) and "numlist:%d\n" (lines in the list), then scales and moves the
// lines so that the drawing spans cp->paper_size along its longer side,
// centred on the origin. Returns 0; -1 with oriReadError set, and nothing
// scaled, when the drawing has no segments or all of them lie on one point.
// Cost: linear in the size of the file.
int LineFromDxf(CreasePattern* cp, FILE* fp);
