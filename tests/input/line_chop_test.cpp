#include "input/line_chop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "geometry/manifold.h"
#include "input/construct.h"
#include "input/line_import.h"
#include "input/line_list.h"
#include "sim/parallel_chunks.h"
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

// The chopping done the plain way: lines in list order (pieces appended at
// the end), each outer line tested against every line of the whole list.
// Slow, but plainly right; the grid-driven chopping must cut the same lines
// at the same points in the same order.
Chopped chopByListWalk(std::vector<Line> v) {
  std::vector<char> alive(v.size(), 1);
  Chopped c;
  auto split = [&](size_t i, double px, double py) {
    const Line l = v[i];
    alive[i] = 0;
    v.push_back({l.x0, l.y0, px, py, l.type});
    v.push_back({px, py, l.x1, l.y1, l.type});
    alive.resize(v.size(), 1);
  };
  for (size_t a = 0; a < v.size(); ++a) {
    for (size_t b = 0; alive[a] && b < v.size(); ++b) {
      double px, py;
      const int kind = b == a || !alive[b] ? kLineChopNone : LineChopTest(&v[a], &v[b], &px, &py);
      if (kind == kLineChopCutB) {
        c.out += "Tb";
        split(b, px, py);
      } else if (kind != kLineChopNone) {
        c.out += kind == kLineChopCross ? "X " : "Ta";
        split(a, px, py);
        if (kind == kLineChopCross) split(b, px, py);
      }
    }
  }
  for (size_t i = 0; i < v.size(); ++i) {
    if (alive[i]) c.lines.push_back(v[i]);
  }
  c.out += "numlist:" + std::to_string(c.lines.size()) + "\n";
  return c;
}

// Bit for bit: the same arithmetic on the same lines.
void expectSameLines(const std::vector<Line>& got, const std::vector<Line>& want) {
  auto values = [](const std::vector<Line>& lines) {
    std::vector<std::vector<double>> out;
    for (const Line& l : lines) out.push_back({l.x0, l.y0, l.x1, l.y1, static_cast<double>(l.type)});
    return out;
  };
  EXPECT_TRUE(values(got) == values(want));
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
  EXPECT_TRUE(hasLine(c.lines, -100, -100, 0, 0) && hasLine(c.lines, 0, 0, 100, 100));
  EXPECT_TRUE(hasLine(c.lines, -100, 100, 0, 0) && hasLine(c.lines, 0, 0, 100, -100));
  EXPECT_EQ(c.lines[0].type, 2);  // pieces keep their line's type, the first line's first
  EXPECT_EQ(c.lines[3].type, 3);
}

TEST(LineChop, LineEndingOnAnotherCutsOnlyThatOne) {
  const Line stem = {0, 0, 0, 100, 3};
  for (bool stem_first : {false, true}) {
    const Chopped c = stem_first ? chop({stem, kAcross}) : chop({kAcross, stem});
    EXPECT_EQ(c.out, stem_first ? "Tbnumlist:3\n" : "Tanumlist:3\n");
    EXPECT_TRUE(hasLine(c.lines, 0, 0, 0, 100) && hasLine(c.lines, -100, 0, 0, 0) && hasLine(c.lines, 0, 0, 100, 0));
  }
  // Running 3 % of its length past the line: too near its end for a
  // crossing, so each line is cut in its own turn, leaving a short piece.
  const Chopped past = chop({kAcross, {0, -3, 0, 97, 3}});
  EXPECT_EQ(past.out, "TaTanumlist:4\n");
  EXPECT_TRUE(hasLine(past.lines, 0, -3, 0, 0) && hasLine(past.lines, 0, 0, 0, 97));
}

TEST(LineChop, LineStoppingShortCutsOnlyWhenVeryNear) {
  // 0.3 % short: the crossed line is cut where the stem's extension meets
  // it, the stem stays as it is. 1 % short: nothing changes.
  const Chopped near = chop({kAcross, {0, 0.3, 0, 100, 3}});
  EXPECT_EQ(near.lines.size(), 3u);
  EXPECT_TRUE(hasLine(near.lines, 0, 0.3, 0, 100) && hasLine(near.lines, -100, 0, 0, 0));
  EXPECT_EQ(chop({kAcross, {0, 1, 0, 100, 3}}).out, "numlist:2\n");

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


// A triangulated grid of side × side squares over [-200, 200]², its lines
// meeting only at their ends (outline type 1, creases valleys), with one
// line from a square's corner to the middle of its diagonal inserted at
// position at: the only place where a line ends on another's inside.
std::vector<Line> gridWithOneT(int side, size_t at) {
  std::vector<Line> lines;
  const double h = 400.0 / side;
  auto c = [h](int k) { return -200.0 + h * k; };
  for (int i = 0; i <= side; ++i) {
    for (int j = 0; j < side; ++j) {
      const int type = i == 0 || i == side ? 1 : 3;
      lines.push_back({c(j), c(i), c(j + 1), c(i), type});
      lines.push_back({c(i), c(j), c(i), c(j + 1), type});
    }
  }
  for (int i = 0; i < side; ++i) {
    for (int j = 0; j < side; ++j) lines.push_back({c(j), c(i), c(j + 1), c(i + 1), 3});
  }
  const int m = side / 2;
  const Line t = {c(m + 1), c(m), 0.5 * (c(m) + c(m + 1)), 0.5 * (c(m) + c(m + 1)), 2};
  lines.insert(lines.begin() + static_cast<long>(std::min(at, lines.size())), t);
  return lines;
}

TEST(LineChop, LargeDrawingFindsItsOneMeetingWhereverItStandsInTheList) {
  // Large enough for the pair tests to be shared among helper threads,
  // which look for the first line that meets another before the ordered
  // pass: a meeting first, midway and last in the list is still split, by
  // the chopping of a drawing and by the construction of an XML file's lines.
  oriSimSetThreads(2);
  const int side = 55;
  const int faces = 2 * side * side + 1;
  for (size_t at : {size_t{0}, size_t{4600}, size_t{1} << 20}) {
    SCOPED_TRACE("at " + std::to_string(at));
    std::vector<Line> drawing = gridWithOneT(side, at);
    ASSERT_GT(drawing.size(), 9000u);
    std::vector<OriPatternLine> plain;
    for (const Line& l : drawing) plain.push_back({l.x0, l.y0, l.x1, l.y1, l.type});
    const std::string split = "split 1 line(s) where other lines meet them";
    testing::internal::CaptureStdout();
    ORI_manifold* chopped = oriManifoldNew();
    EXPECT_EQ(oriManifoldConstructFromLineArray(chopped, nullptr, &drawing, 400.0), 0);
    const std::string chopping = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    ORI_manifold* built = oriManifoldNew();
    EXPECT_EQ(oriManifoldConstructFromLines(built, nullptr, plain.data(), static_cast<int>(plain.size())), 0);
    const std::string building = testing::internal::GetCapturedStdout();
    // The chopping cut the diagonal, leaving the construction nothing to split.
    EXPECT_NE(chopping.find("numlist:" + std::to_string(plain.size() + 1)), std::string::npos);
    EXPECT_EQ(chopping.find(split), std::string::npos);
    EXPECT_NE(building.find(split), std::string::npos);
    EXPECT_EQ(chopped->n_face, faces);
    EXPECT_EQ(built->n_face, faces);
    oriManifoldDelete(chopped);
    oriManifoldDelete(built);
  }
  oriSimSetThreads(0);
}

}  // namespace
