// The crease-pattern XML reader (".opx", ".xml"): the java.beans encoding of
// an oripa.DataSet whose lines are oripa.OriLineProxy records.
#pragma once

#include <cstdio>

struct ORI_manifold;

// The property of a line record holding the fold target a drawing gave
// (radians, a valley positive); other readers of the format pass it over.
constexpr const char* kOpxTargetProperty = "targetAngle";

// Reads fp (rewound first; not closed) into om, fresh from oriManifoldNew.
// Both layouts are read: the lines as `<void property="lines">` or through
// the data set's getField method (`<string>lines</string>`). Missing
// properties are 0 (type 0 is flat); numbers are read whole (either exponent
// case); a line with a coordinate that is not finite is dropped and counted;
// a line shorter than 0.4 units in both X and Y is dropped; the last
// paperSize property gives paper_size (400 without one).
// om_old, when given, is the folded model whose shape the new pattern takes.
// Returns 0 when the mesh was built; -1 when the data set is of another class
// or the file cannot be built (oriReadError says why; om's lists stay empty).
int oriManifoldConstructFromOpx(ORI_manifold* om, ORI_manifold* om_old, FILE* fp);
