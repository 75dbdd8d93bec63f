// DXF drawings written in memory, and reading them into line lists or meshes.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "geometry/manifold.h"
#include "input/line_list.h"

// Colour argument that writes no group 62 (colour by layer).
constexpr int kNoColor = -1;

// A stream holding text (a temporary file, rewound; the caller closes it).
FILE* textStream(const std::string& text);

// One LINE entity from (x0, y0) to (x1, y1), drawing units.
std::string dxfLine(double x0, double y0, double x1, double y1, int color = kNoColor);

// One POLYLINE entity with its VERTEX entities and SEQEND; flags is group 70.
std::string dxfPolyline(const std::vector<std::pair<double, double>>& points, int flags, int color = kNoColor);

// A whole R12-style file: a header section, the entities, EOF.
std::string dxfText(const std::vector<std::string>& entities);

// Reads text with LineFromDxf into a new pattern (the caller destroys it).
// *result gets its result and *out what it printed, when given.
CreasePattern* readDxfText(const std::string& text, int* result = nullptr, std::string* out = nullptr);

// The lines of a pattern, in list order.
std::vector<Line> patternLines(const CreasePattern* cp);

// A pattern holding copies of lines (the caller destroys it).
CreasePattern* patternOf(const std::vector<Line>& lines);

// Builds a manifold from DXF text in memory through the DXF import; null when
// it fails (*result gets the result).
ORI_manifold* loadDxfText(const std::string& text, int* result = nullptr);
