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

// Named patterns (file units, paper 400, centred on the origin).
std::vector<OriPatternLine> squareLines();                         // 4 outline lines
std::vector<OriPatternLine> squareWithDiagonal(int type);          // + corner-to-corner line
std::vector<OriPatternLine> degree4Vertex(int t0, int t1, int t2, int t3);  // 4 creases from the centre, 8 outline pieces
std::vector<OriPatternLine> miura2x2();                            // a 2 × 2 Miura-ori cell

// Lines of a pattern counted as in the file (both halves once): n_edge / 2.
int lineCount(const ORI_manifold* om);
