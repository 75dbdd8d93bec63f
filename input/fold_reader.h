// Reading the crease pattern of a FOLD file (the JSON exchange format of
// origami tools, ".fold") into a line list: the vertices and edges of frame 0.
//
// FOLD's y axis points up and its front side is the one from which its faces
// run counter-clockwise; a valley there has a positive fold angle and folds
// towards the viewer of that side. The reader keeps the picture: y is negated
// into the line list (whose y runs down, like the crease-pattern XML) and
// negated again into the CP plane, so that the front side faces +z, from
// where a positive fold angle folds towards the viewer. A valley therefore
// becomes the fold type with the positive target (2) and a mountain the one
// with the negative target (3).
#pragma once

#include <cstdio>

struct CreasePattern;
struct ORI_manifold;

// The line type of a FOLD edge assignment: "M" 2 (mountain, negative target),
// "V" 3 (valley, positive target), "B" and "C" (boundary, cut) 1, "F",
// "U", "J" and anything else 0 (flat). Lower case reads like upper case; null
// (no assignment) is "U".
int foldAssignmentLineType(const char* assignment);

// Reads the FOLD text fp (from where it stands to its end; not closed) and
// appends one Line per edge of frame 0 (the top level) to cp, which is
// expected empty: its ends from vertices_coords (2D, or 3D lying in z = 0)
// with y negated, its type from edges_assignment (missing entries are "U").
// A mountain or valley edge takes its target from edges_foldAngle (degrees,
// a valley positive) of frame 0, or of the first of file_frames when frame 0
// has none; an angle that is not a finite number, is 0 or has the other
// letter's sign is reported (one message per kind) and the letter's whole
// target kept. Then fits the lines to cp->paper_size as the DXF reader does.
// Faces and the other frames are not read. Returns 0; -1 with
// oriReadError set, and cp emptied, when the text is not JSON or not a
// FOLD object, frame 0 is a folded form (frame_classes "foldedForm" or a
// vertex off z = 0), it has no vertices_coords or no edges_vertices, a
// vertex is not 2 or 3 finite numbers, an edge does not name two of the
// vertices, there are more than kImportMaxLines edges, or the edges have no
// extent. Files over kImportMaxBytes or nested deeper than 512 levels are
// refused before parsing. Cost: linear in the size of the file; the parsed
// document takes some ten times the file's size in memory.
int LineFromFold(CreasePattern* cp, FILE* fp);

// Builds om (fresh from oriManifoldNew) from the FOLD text fp (opened by the
// caller and closed by it) through the line-list chain: the lines of frame 0
// are cut at crossings and built in memory
// (oriManifoldConstructFromCreasePattern); om_old as for
// oriManifoldConstructFromOpx. Returns 0, or the failing step's non-zero
// result with oriReadError set.
int oriManifoldConstructFromFold(ORI_manifold* om, ORI_manifold* om_old, FILE* fp);
