// Test fixtures: real patterns from the shared folder, small named patterns
// written as XML, and mesh checks used across the tests.
#pragma once

#include <string>
#include <vector>

#include "geometry/manifold.h"
#include "input/construct.h"

// The folder of real crease patterns, or "" when it is absent (a user's
// clone has none); tests then skip with a message.
std::string patternsDir();

// Every file of the given extension (".opx") below patternsDir()/sub, sorted.
std::vector<std::string> realPatterns(const std::string& sub, const std::string& ext);

// The XML text of a pattern made of lines (file units) and a paper size.
std::string opxText(const std::vector<OriPatternLine>& lines, double paper_size = 400.0);

// Builds a manifold from XML text in memory; null when the reader fails.
ORI_manifold* loadOpxText(const std::string& text, int* result = nullptr);
// Builds a manifold from a file; null when the reader fails.
ORI_manifold* loadOpxFile(const std::string& path, int* result = nullptr);
// The same, with the reader's progress output kept off the test log.
ORI_manifold* loadOpxFileQuietly(const std::string& path);

// Named patterns (file units, paper 400, centred on the origin).
std::vector<OriPatternLine> squareLines();                         // 4 outline lines
std::vector<OriPatternLine> squareWithDiagonal(int type);          // + corner-to-corner line
std::vector<OriPatternLine> degree4Vertex(int t0, int t1, int t2, int t3);  // 4 creases from the centre, 8 outline pieces
std::vector<OriPatternLine> miura2x2();                            // a 2 × 2 Miura-ori cell

// Lines of a pattern counted as in the file (both halves once): n_edge / 2.
int lineCount(const ORI_manifold* om);

// ---- Generated patterns and folded-shape checks ----

struct CreasePattern;
struct OriMiuraParams;
struct OriVertexParams;
struct OriWaterbombParams;

// Builds a manifold from a generated pattern through its XML text, prepares
// it flat (fixed face, numbering, placement); null when the generator or the
// reader fails (the test then fails with the reason).
ORI_manifold* loadGeneratedMiura(const OriMiuraParams& params);
ORI_manifold* loadGeneratedVertex(const OriVertexParams& params);
ORI_manifold* loadGeneratedWaterbomb(const OriWaterbombParams& params);

// Reads a pattern file and prepares it flat; null when the reader fails.
ORI_manifold* loadPreparedFile(const std::string& path);

// How far a placed shape is from a rigid folding of the flat sheet, in CP
// units: the largest difference between a facet side's 3D length (from the
// vertex positions) and its flat length, and the largest distance of a
// facet's vertex from the plane of that facet.
struct ShapeErrors {
  double edge_length;
  double planarity;
};
ShapeErrors shapeErrors(const ORI_manifold* om);

// The largest |angle| over all half-edges, and the largest amount by which a
// fold line has gone past its target (0 when none has).
double maxAbsAngle(const ORI_manifold* om);
double maxTargetOvershoot(const ORI_manifold* om);

// The half-edge running from file point (X0, Y0) to (X1, Y1) of a pattern
// read with paper size 400; null when there is none.
ORI_edge* findHalfEdge(const ORI_manifold* om, double X0, double Y0, double X1, double Y1);

// Splits the face that has corners at file points P and Q by a diagonal
// from P to Q (as the tessellation does) and renumbers the mesh; returns the
// new half-edge from P to Q, or null when no face has both corners.
ORI_edge* addDiagonal(ORI_manifold* om, double PX, double PY, double QX, double QY);
