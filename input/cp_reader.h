// Reading an ORIPA-style ".cp" text pattern into a line list: one segment a
// line, "type x0 y0 x1 y1" separated by white space. The types and the axes
// are those of the crease-pattern XML (1 cut or boundary, 2 and 3 the fold
// types, y running down), so a ".cp" and the XML file of the same pattern
// build the same mesh.
#pragma once

#include <cstdio>

struct CreasePattern;
struct ORI_manifold;

// The line type of a ".cp" type number: 1, 2 and 3 keep their number; every
// other value is flat (0).
int cpLineType(double type);

// Reads the ".cp" text fp (from where it stands to its end; not closed) and
// appends one Line per line of five finite numbers to cp, which is expected
// empty. Blank lines are passed over; any other line that is not five
// numbers (a word, four or six numbers, NaN, a line longer than 1023
// characters) is skipped, and the skips are reported in one message line
// naming the first. Then fits the lines to cp->paper_size as the DXF reader
// does. Returns 0; -1 with oriReadError set, and cp emptied, when no line is
// five numbers, there are more than kImportMaxLines segments or the segments
// have no extent. Cost: linear in the size of the file.
int LineFromCp(CreasePattern* cp, FILE* fp);

// Builds om (fresh from oriManifoldNew) from the ".cp" text fp (opened by
// the caller and closed by it) through the line-list chain: cut at crossings
// and built in memory (oriManifoldConstructFromCreasePattern); om_old as for
// oriManifoldConstructFromOpx. Returns 0, or the failing step's non-zero
// result with oriReadError set.
int oriManifoldConstructFromCp(ORI_manifold* om, ORI_manifold* om_old, FILE* fp);
