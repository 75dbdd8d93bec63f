#include "input/line_chop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "input/line_list.h"
#include "tests/support/dxf_fixtures.h"

namespace {

struct Chopped {
  int result = 0;
  std::string out;
  std::vector<Line> lines;
};

Chopped chop(const std::vector<Line>& lines) {
  CreasePattern* cp = patternOf(lines);
  Chopped c;
  testing::internal::CaptureStdout();
  c.result = LineChop(cp);
  c.out = testing::internal::GetCapturedStdout();
  c.lines = patternLines(cp);
  CreasePatternDestruct(cp);
  return c;
}

// The chopping done the plain way: the outer line walks the list, the inner
// one walks the whole list from its head for every outer line. Slow, but
// plainly right; the grid-driven chopping must cut the same lines at the
// same points in the same order.
Chopped chopByListWalk(const std::vector<Line>& lines) {
  CreasePattern* cp = patternOf(lines);
  std::string out;
  List* last = cp->lines;
  while (last->next != nullptr) last = last->next;
  auto append = [&](const Line* l, double px, double py) {
    last = listAdd(cp->lines, last, LineNew(l->x0, l->y0, px, py, l->type));
    last = listAdd(cp->lines, last, LineNew(px, py, l->x1, l->y1, l->type));
  };
  auto unlink = [&](List* node) {
    if (node->prev != nullptr) node->prev->next = node->next;
    if (node->next != nullptr) node->next->prev = node->prev;
    if (node == cp->lines) cp->lines = node->next;
    std::free(node->data);
    std::free(node);
  };
  List* a = cp->lines->data != nullptr ? cp->lines : nullptr;
  while (a != nullptr) {
    const Line* la = static_cast<const Line*>(a->data);
    bool a_split = false;
    for (List* b = cp->lines; b != nullptr;) {
      double px, py;
      const int kind = b == a ? kLineChopNone : LineChopTest(la, static_cast<const Line*>(b->data), &px, &py);
      if (kind == kLineChopNone) {
        b = b->next;
      } else if (kind == kLineChopCutB) {
        out += "Tb";
        append(static_cast<const Line*>(b->data), px, py);
        List* next = b->next;
        unlink(b);
        b = next;
      } else {
        out += kind == kLineChopCross ? "X " : "Ta";
        append(la, px, py);
        if (kind == kLineChopCross) {
          append(static_cast<const Line*>(b->data), px, py);
          unlink(b);
        }
        List* next = a->next;
        unlink(a);
        a = next;
        a_split = true;
        break;
      }
    }
    if (!a_split) a = a->next;
  }
  Chopped c;
  c.lines = patternLines(cp);
  c.out = out + "numlist:" + std::to_string(c.lines.size()) + "\n";
  CreasePatternDestruct(cp);
  return c;
}

void expectSameLines(const std::vector<Line>& got, const std::vector<Line>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    // Bit for bit: the same arithmetic on the same lines.
    EXPECT_TRUE(got[i].x0 == want[i].x0 && got[i].y0 == want[i].y0 && got[i].x1 == want[i].x1 &&
                got[i].y1 == want[i].y1 && got[i].type == want[i].type)
        << "line " << i;
  }
}

// Whether lines holds a line from (x0, y0) to (x1, y1), either way round.
bool hasLine(const std::vector<Line>& lines, double x0, double y0, double x1, double y1) {
  auto near = [](double a, double b) { return std::fabs(a - b) < 1e-9; };
  for (const Line& l : lines) {
    if (near(l.x0, x0) && near(l.y0, y0) && near(l.x1, x1) && near(l.y1, y1)) return true;
    if (near(l.x0, x1) && near(l.y0, y1) && near(l.x1, x0) && near(l.y1, y0)) return true;
  }
  return false;
}

const Line kAcross = {-100, 0, 100, 0, 2};  // the line others meet

TEST(LineChop, CrossingDiagonalsBecomeFourLinesToTheCrossing) {
  const Chopped c = chop({{-100, -100, 100, 100, 2}, {-100, 100, 100, -100, 3}});
  EXPECT_EQ(c.result, 0);
  EXPECT_EQ(c.out, "X numlist:4\n");
  ASSERT_EQ(c.lines.size(), 4u);
  EXPECT_TRUE(hasLine(c.lines, -100, -100, 0, 0));
  EXPECT_TRUE(hasLine(c.lines, 0, 0, 100, 100));
  EXPECT_TRUE(hasLine(c.lines, -100, 100, 0, 0));
  EXPECT_TRUE(hasLine(c.lines, 0, 0, 100, -100));
  // Pieces keep the type of their line: the first line's pieces come first.
  EXPECT_EQ(c.lines[0].type, 2);
  EXPECT_EQ(c.lines[1].type, 2);
  EXPECT_EQ(c.lines[2].type, 3);
  EXPECT_EQ(c.lines[3].type, 3);
}

TEST(LineChop, LineEndingOnAnotherCutsOnlyThatOne) {
  const Line stem = {0, 0, 0, 100, 3};
  for (bool stem_first : {false, true}) {
    SCOPED_TRACE(stem_first ? "stem first" : "crossed line first");
    const Chopped c = stem_first ? chop({stem, kAcross}) : chop({kAcross, stem});
    EXPECT_EQ(c.out, stem_first ? "Tbnumlist:3\n" : "Tanumlist:3\n");
    ASSERT_EQ(c.lines.size(), 3u);
    EXPECT_TRUE(hasLine(c.lines, 0, 0, 0, 100));
    EXPECT_TRUE(hasLine(c.lines, -100, 0, 0, 0));
    EXPECT_TRUE(hasLine(c.lines, 0, 0, 100, 0));
  }
}

TEST(LineChop, LineRunningSlightlyPastAnotherLeavesAShortPiece) {
  // The stem runs 3 % of its length beyond the crossed line: too near its
  // end for a crossing, so each line is cut in its own turn.
  const Chopped c = chop({kAcross, {0, -3, 0, 97, 3}});
  EXPECT_EQ(c.out, "TaTanumlist:4\n");
  ASSERT_EQ(c.lines.size(), 4u);
  EXPECT_TRUE(hasLine(c.lines, 0, -3, 0, 0));
  EXPECT_TRUE(hasLine(c.lines, 0, 0, 0, 97));
}

TEST(LineChop, LineStoppingShortCutsOnlyWhenVeryNear) {
  // 0.3 % short: the crossed line is cut where the stem's extension meets
  // it, the stem stays as it is. 1 % short: nothing changes.
  const Chopped near = chop({kAcross, {0, 0.3, 0, 100, 3}});
  ASSERT_EQ(near.lines.size(), 3u);
  EXPECT_TRUE(hasLine(near.lines, 0, 0.3, 0, 100));
  EXPECT_TRUE(hasLine(near.lines, -100, 0, 0, 0));

  const Chopped far = chop({kAcross, {0, 1, 0, 100, 3}});
  EXPECT_EQ(far.out, "numlist:2\n");

  // Boxes more than 1.0 apart are never tested, even within 0.5 %: a stem
  // of length 398.8 stopping 1.2 short stays apart, 0.8 short it cuts.
  EXPECT_EQ(chop({{-200, 0, 200, 0, 2}, {0, 1.2, 0, 400, 3}}).lines.size(), 2u);
  EXPECT_EQ(chop({{-200, 0, 200, 0, 2}, {0, 0.8, 0, 400, 3}}).lines.size(), 3u);
}

TEST(LineChop, SharedEndsParallelAndOverlappingLinesAreLeftAlone) {
  const std::vector<std::vector<Line>> cases = {
      {{0, 0, 100, 0, 2}, {0, 0, 0, 100, 3}, {100, 0, 0, 100, 1}},  // a triangle meeting at its corners
      {{-100, 0, 100, 0, 2}, {-100, 10, 100, 10, 3}},                // parallel
      {{-100, 0, 100, 0, 2}, {-50, 0, 150, 0, 3}},                   // collinear, overlapping
      {{-100, 0, 100, 0, 2}, {-100, -0.4, 100, 0.4, 3}},             // crossing at a very small angle
      {{-100, 0, 100, 0, 2}, {5, 5, 5, 5, 3}},                       // a line of no length
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Chopped c = chop(cases[i]);
    EXPECT_EQ(c.out, "numlist:" + std::to_string(cases[i].size()) + "\n") << "case " << i;
    expectSameLines(c.lines, cases[i]);
  }
  EXPECT_EQ(chop({}).out, "numlist:0\n");
}

TEST(LineChop, LinesThroughOnePointAllEndThere) {
  // Both diagonals and both medians of a square: every later line is cut at
  // the point where the earlier ones were.
  const Chopped c = chop({{-200, -200, 200, 200, 2}, {-200, 200, 200, -200, 2}, {-200, 0, 200, 0, 3},
                          {0, -200, 0, 200, 3}});
  ASSERT_EQ(c.lines.size(), 8u);
  for (const Line& l : c.lines) {
    const bool starts = std::hypot(l.x0, l.y0) < 1e-9, ends = std::hypot(l.x1, l.y1) < 1e-9;
    EXPECT_TRUE(starts != ends) << l.x0 << "," << l.y0 << " " << l.x1 << "," << l.y1;
  }
}

// Random drawings with the cases that matter mixed in: long crossing lines,
// lines ending on others, short lines near others, near-parallel pairs.
std::vector<Line> randomDrawing(unsigned seed, int n) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> coord(-200.0, 200.0), unit(0.0, 1.0);
  std::vector<Line> lines;
  while (static_cast<int>(lines.size()) < n) {
    const double kind = unit(rng);
    Line l = {coord(rng), coord(rng), coord(rng), coord(rng), static_cast<int>(unit(rng) * 4)};
    if (kind < 0.3 && !lines.empty()) {
      // Start on an earlier line, or stop short of it or run past it by up
      // to 0.6 % of the new line's length.
      const Line& o = lines[static_cast<size_t>(unit(rng) * lines.size())];
      const double t = unit(rng), f = (unit(rng) - 0.5) * 0.012;
      const double px = o.x0 + t * (o.x1 - o.x0), py = o.y0 + t * (o.y1 - o.y0);
      l.x0 = px + f * (l.x1 - px);
      l.y0 = py + f * (l.y1 - py);
    } else if (kind < 0.4) {
      l.x1 = l.x0 + (unit(rng) - 0.5) * 4.0;  // short
      l.y1 = l.y0 + (unit(rng) - 0.5) * 4.0;
    } else if (kind < 0.5 && !lines.empty()) {
      const Line& o = lines.back();  // nearly parallel to the previous line
      l.x1 = l.x0 + (o.x1 - o.x0) * 0.5;
      l.y1 = l.y0 + (o.y1 - o.y0) * 0.5 + unit(rng);
    }
    lines.push_back(l);
  }
  return lines;
}

TEST(LineChop, CutsTheSameLinesAsTheWholeListWalk) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::vector<Line> drawing = randomDrawing(seed, 20 + 10 * static_cast<int>(seed));
    const Chopped want = chopByListWalk(drawing);
    const Chopped got = chop(drawing);
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(got.out, want.out);
    expectSameLines(got.lines, want.lines);
    EXPECT_GT(got.lines.size(), drawing.size());
  }
  // A crossing grid: the grid of cells is rebuilt finer as the pieces grow.
  std::vector<Line> grid;
  for (int k = 0; k < 24; ++k) {
    const double c = -200.0 + 400.0 * (k + 1) / 25.0;
    grid.push_back({-200, c, 200, c, 2});
    grid.push_back({c, -200, c, 200, 3});
  }
  const Chopped want = chopByListWalk(grid);
  const Chopped got = chop(grid);
  EXPECT_EQ(got.out, want.out);
  expectSameLines(got.lines, want.lines);
  EXPECT_EQ(got.lines.size(), 2u * 24 * 25);
}

}  // namespace
