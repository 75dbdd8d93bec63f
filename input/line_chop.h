// Cutting the lines of a pattern where they cross or where one ends on
// another, so that lines meet only at their end points.
#pragma once

#include <vector>

struct CreasePattern;
struct Line;

// Parameters of the pair test, in units of each line's own length (the box
// margin is in pattern units).
constexpr double kChopBoxMargin = 1.0;       // boxes farther apart than this are never tested
constexpr double kChopParallel = 0.005;      // |cross| below this share of |dA||dB|: parallel
constexpr double kChopCrossMargin = 0.05;    // a crossing lies this far inside both lines
constexpr double kChopEndMargin = 0.005;     // a cut point lies this far inside the cut line

enum LineChopCase {
  kLineChopNone = 0,
  kLineChopCross = 1,  // both lines are cut at the point
  kLineChopCutA = 2,   // only a is cut (the other touches or nearly reaches its inside)
  kLineChopCutB = 3,   // only b is cut
};

// The pair test of line a against line b: which of them is to be cut, and
// where (*px, *py, set unless the result is kLineChopNone). Parallel and
// nearly parallel lines, lines of no length and lines that meet only at
// shared ends are never cut, and neither is a pair with an auxiliary line
// (kOriLineTypeAux): the construction applies their rule.
int LineChopTest(const Line* a, const Line* b, double* px, double* py);

// LineChop on a vector of lines: the same cuts, messages and result, the
// lines rewritten in place (the living lines in list order).
int LineChopLines(std::vector<Line>* lines);

// Rewrites cp's list so that every crossing and every T-junction becomes a
// shared end point: a split line is replaced by its two pieces (same type and
// target),
// appended at the end of the list; the split record and its node are freed.
// Lines are taken in list order and each is tested against the whole list,
// pieces included, until nothing splits any more. Prints "X " for a crossing,
// "Ta"/"Tb" for a cut of one line, then "numlist:%d\n". Returns 0; -1 with
// oriReadError set when the splits exceed what n lines can have (a drawing
// whose rounding keeps making new points), with the list still whole.
// Cost: about linear in the pieces made; a grid of cells picks the pairs to
// test, and they are tested in list order, as a walk of the whole list would.
int LineChop(CreasePattern* cp);
