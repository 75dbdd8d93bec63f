// Building a mesh from a line list: the chain that every drawing format
// shares (the lines fitted to the paper by their reader, cut where they
// cross and built by the face construction, in memory and with every digit),
// and the limits that the line-list readers keep to on hostile input.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "input/line_list.h"

struct ORI_manifold;

// Most segments a line-list reader takes from one file: real patterns have
// a few thousand; far more only ties up the chopping and the construction.
constexpr int kImportMaxLines = 1000000;

// Most bytes a reader that parses a whole document (FOLD, SVG) holds in
// memory; real files are a few hundred kilobytes.
constexpr size_t kImportMaxBytes = size_t{32} << 20;

enum CreasePatternFitResult {
  kFitOk = 0,
  kFitNoLines = -1,   // the list is empty
  kFitNoExtent = -2,  // every end point is the same point, or the extent is not a finite number
};

// Scales and moves the lines of cp so that they span cp->paper_size along
// the longer side of their bounding box, centred on the origin. Returns a
// CreasePatternFitResult; on failure nothing is changed and no message is
// set (the reader words it). Cost: two passes over the list.
int CreasePatternFitPaper(CreasePattern* cp);

// The paper side a line-list reader fits its lines to (file units), as
// CreasePatternNew sets it.
constexpr double kImportPaperSize = 400.0;

// CreasePatternFitPaper on an array of lines, to paper_size: the same
// arithmetic, the same result.
int oriFitLinesToPaper(std::vector<Line>* lines, double paper_size);

// The last node of cp's list, after which a reader appends with listAdd;
// null when the list is empty (the first line then goes into the head node).
struct List;
List* CreasePatternLastNode(CreasePattern* cp);

// Releases every line of cp, leaving its list empty (a reader that refuses
// a file leaves no half-read lines behind).
void CreasePatternClear(CreasePattern* cp);

// Builds om (fresh from oriManifoldNew) from the lines of cp, which the
// reader has already fitted to the paper: lines shorter than 1e-9 of the
// paper are dropped with a message, LineChop cuts the others at crossings
// and T-junctions (auxiliary lines are left whole for the construction), and
// the pieces go to oriManifoldConstructFromAccepted with cp's paper size,
// through the acceptance an XML file's lines get (oriPatternLineAccepted);
// om_old as for oriManifoldConstructFromOpx. cp is destroyed in every case.
// Returns 0; -1 with oriReadError set when the chopping does not settle or
// the construction fails (which also prints "read fail\n").
int oriManifoldConstructFromCreasePattern(ORI_manifold* om, ORI_manifold* om_old, CreasePattern* cp);

// The same chain on an array of lines already fitted to a paper of
// paper_size (their reader's list need not be made); the array is used up.
int oriManifoldConstructFromLineArray(ORI_manifold* om, ORI_manifold* om_old, std::vector<Line>* lines,
                                      double paper_size);

// Reads fp from where it stands to its end into *text. Returns 0; -1 with
// oriReadError set when the stream is longer than max_bytes (*text then
// holds nothing) or a read fails.
int oriReadWholeStream(FILE* fp, size_t max_bytes, std::string* text);
