// Crease patterns made by rule. Each generator lays its lines out in its own
// units, then the sheet is centred on the origin and scaled so that its
// longer side is 400 file units.
#include "input/pattern_gen.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "input/line_list.h"
#include "input/opx_reader.h"
#include "input/opx_writer.h"
#include "input/read_error.h"

namespace {

constexpr double kPaperSide = 400.0;
constexpr double kDegree = 0.017453292519943295;  // π / 180
// Sector angles must sum to a full turn within this many degrees.
constexpr double kFullTurnTolerance = 1e-6;
// A crease end this close to a side of the unit square lies on it.
constexpr double kSnap = 1e-9;
// Largest tessellation accepted, in rows or columns: far beyond what the
// solver folds in reasonable time, and it keeps the line count bounded.
constexpr int kMaxCells = 200;

// The types a generator writes; kPositive and kNegative name the assignment
// options (types 2 and 3), not the signs of their targets.
enum LineType { kFlat = 1, kPositive = 2, kNegative = 3 };

struct Segment {
  double x0, y0, x1, y1;
  int type;
};

int fail(char* why, size_t why_size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
int fail(char* why, size_t why_size, const char* fmt, ...) {
  if (why != nullptr && why_size > 0) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(why, why_size, fmt, ap);
    va_end(ap);
  }
  return -1;
}

int opposite(int type) { return type == kPositive ? kNegative : kPositive; }

// The type of a fold line whose standard type is standard_type.
int assigned(int standard_type, int assign) {
  switch (assign) {
    case kOriAssignSwapped: return opposite(standard_type);
    case kOriAssignPositive: return kPositive;
    case kOriAssignNegative: return kNegative;
    default: return standard_type;
  }
}

bool assignValid(int assign) { return assign >= kOriAssignStandard && assign <= kOriAssignNegative; }

// Centres the segments on the origin, scales the longer side of their
// bounding box to the paper side, checks every segment's length and appends
// them to cp.
int finish(CreasePattern* cp, std::vector<Segment>& segs, char* why, size_t why_size) {
  double xmin = HUGE_VAL, xmax = -HUGE_VAL, ymin = HUGE_VAL, ymax = -HUGE_VAL;
  for (const Segment& s : segs) {
    xmin = std::min({xmin, s.x0, s.x1});
    xmax = std::max({xmax, s.x0, s.x1});
    ymin = std::min({ymin, s.y0, s.y1});
    ymax = std::max({ymax, s.y0, s.y1});
  }
  const double extent = std::max(xmax - xmin, ymax - ymin);
  if (segs.empty() || !(extent > 0) || !std::isfinite(extent)) return fail(why, why_size, "the sheet has no extent");
  const double scale = kPaperSide / extent;
  const double cx = (xmin + xmax) * 0.5, cy = (ymin + ymax) * 0.5;
  for (Segment& s : segs) {
    s.x0 = (s.x0 - cx) * scale;
    s.y0 = (s.y0 - cy) * scale;
    s.x1 = (s.x1 - cx) * scale;
    s.y1 = (s.y1 - cy) * scale;
    const double along = std::max(std::fabs(s.x1 - s.x0), std::fabs(s.y1 - s.y0));
    if (!(along >= kOriPatternMinLine)) {
      return fail(why, why_size, "a line would be %.3f units long, shorter than %.1f", along, kOriPatternMinLine);
    }
  }
  List* last = nullptr;
  for (List* node = cp->lines; node != nullptr && node->data != nullptr; node = node->next) last = node;
  for (const Segment& s : segs) last = listAdd(cp->lines, last, LineNew(s.x0, s.y0, s.x1, s.y1, s.type));
  return 0;
}

}  // namespace

// ---- Miura-ori ---------------------------------------------------------------

int oriPatternMakeMiura(CreasePattern* cp, const OriMiuraParams& params, char* why, size_t why_size) {
  const int R = params.rows, C = params.cols;
  if (R < 1 || C < 1 || R > kMaxCells || C > kMaxCells) {
    return fail(why, why_size, "rows and columns must be 1 to %d (got %d x %d)", kMaxCells, R, C);
  }
  if (!(params.sector_deg > 0 && params.sector_deg <= 90)) {
    return fail(why, why_size, "the sector angle must be above 0 and at most 90 degrees (got %g)", params.sector_deg);
  }
  if (!(params.ratio > 0) || !std::isfinite(params.ratio)) {
    return fail(why, why_size, "the side ratio must be a positive number (got %g)", params.ratio);
  }
  if (!assignValid(params.assign)) return fail(why, why_size, "unknown assignment %d", params.assign);

  // Straight side 1 along X; the zig-zag side leans by d over a height h.
  const double w = 1.0;
  const double h = params.ratio * std::sin(params.sector_deg * kDegree);
  const double d = params.ratio * std::cos(params.sector_deg * kDegree);
  auto X = [&](int i, int j) { return j * w + ((i % 2) ? d : 0.0); };
  auto Y = [&](int i) { return i * h; };
  // Zig-zag line j keeps one type; neighbouring lines alternate.
  auto zigzag = [&](int j) { return assigned((j % 2) ? kPositive : kNegative, params.assign); };

  std::vector<Segment> segs;
  segs.reserve(static_cast<size_t>(2 * R * C + R + C));
  for (int i = 0; i <= R; ++i) {
    for (int j = 0; j < C; ++j) {
      int type = kFlat;
      if (i > 0 && i < R) {
        // At a vertex whose zig-zag bends left (odd rows) the straight crease
        // on its right shares the zig-zag's type; where it bends right (even
        // rows) the straight crease on its right is the odd one out.
        const int z = (j % 2) ? kPositive : kNegative;
        type = assigned((i % 2) ? z : opposite(z), params.assign);
      }
      segs.push_back({X(i, j), Y(i), X(i, j + 1), Y(i), type});
    }
  }
  for (int j = 0; j <= C; ++j) {
    const int type = (j == 0 || j == C) ? kFlat : zigzag(j);
    for (int i = 0; i < R; ++i) segs.push_back({X(i, j), Y(i), X(i + 1, j), Y(i + 1), type});
  }
  return finish(cp, segs, why, why_size);
}

// ---- Single vertex -------------------------------------------------------------

int oriPatternMakeVertex(CreasePattern* cp, const OriVertexParams& params, char* why, size_t why_size) {
  const int K = params.degree;
  if (K < 3 || K > kOriPatternMaxDegree) {
    return fail(why, why_size, "the degree must be 3 to %d (got %d)", kOriPatternMaxDegree, K);
  }
  double sum = 0.0;
  for (int k = 0; k < K; ++k) {
    const double a = params.sector_deg[k];
    if (!(a > 0 && a <= 180)) return fail(why, why_size, "sector %d must be above 0 and at most 180 degrees (got %g)", k, a);
    if (params.type[k] < 0 || params.type[k] > 3) return fail(why, why_size, "crease %d has line type %d, not 0 to 3", k, params.type[k]);
    sum += a;
  }
  if (std::fabs(sum - 360.0) > kFullTurnTolerance) {
    return fail(why, why_size, "the sectors sum to %.9g degrees, not 360", sum);
  }
  if (!std::isfinite(params.rotation_deg)) return fail(why, why_size, "the rotation must be a number");

  // Unit square [-1, 1]²; points on its outline are ordered by their
  // perimeter parameter, counter-clockwise from the corner (1, -1).
  auto perimeter = [](double x, double y) {
    if (x >= 1.0 && y < 1.0) return 0.0 + (y + 1.0);  // right side, upwards
    if (y >= 1.0 && x > -1.0) return 2.0 + (1.0 - x);  // top, leftwards
    if (x <= -1.0 && y > -1.0) return 4.0 + (1.0 - y);  // left, downwards
    return 6.0 + (x + 1.0);                             // bottom, rightwards
  };
  struct Point {
    double x, y, t;
  };
  std::vector<Point> outline = {{1, -1, 0}, {1, 1, 2}, {-1, 1, 4}, {-1, -1, 6}};
  std::vector<Segment> segs;
  double phi = params.rotation_deg;
  for (int k = 0; k < K; ++k) {
    const double c = std::cos(phi * kDegree), s = std::sin(phi * kDegree);
    const double reach = 1.0 / std::max(std::fabs(c), std::fabs(s));
    double x = c * reach, y = s * reach;
    // Snap onto the side it hit (both sides at a corner), so that the
    // outline is split exactly where the crease ends.
    if (std::fabs(std::fabs(x) - 1.0) < kSnap) x = x > 0 ? 1.0 : -1.0;
    if (std::fabs(std::fabs(y) - 1.0) < kSnap) y = y > 0 ? 1.0 : -1.0;
    segs.push_back({0.0, 0.0, x, y, params.type[k]});
    const bool corner = std::fabs(x) == 1.0 && std::fabs(y) == 1.0;
    if (!corner) outline.push_back({x, y, perimeter(x, y)});
    phi += params.sector_deg[k];
  }
  std::sort(outline.begin(), outline.end(), [](const Point& a, const Point& b) { return a.t < b.t; });
  for (size_t i = 0; i < outline.size(); ++i) {
    const Point& a = outline[i];
    const Point& b = outline[(i + 1) % outline.size()];
    segs.push_back({a.x, a.y, b.x, b.y, kFlat});
  }
  return finish(cp, segs, why, why_size);
}

// ---- Waterbomb tessellation ------------------------------------------------------

int oriPatternMakeWaterbomb(CreasePattern* cp, const OriWaterbombParams& params, char* why, size_t why_size) {
  const int R = params.rows, C = params.cols;
  if (R < 1 || C < 1 || R > kMaxCells || C > kMaxCells) {
    return fail(why, why_size, "rows and columns must be 1 to %d (got %d x %d)", kMaxCells, R, C);
  }
  if (!assignValid(params.assign)) return fail(why, why_size, "unknown assignment %d", params.assign);
  const int diagonal = assigned(kPositive, params.assign);
  const int horizontal = assigned(kNegative, params.assign);

  // Vertex rows at y = k/2; even rows at whole x, odd rows at half x.
  std::vector<Segment> segs;
  const int K = 2 * R;
  for (int k = 0; k <= K; ++k) {
    const double y = 0.5 * k;
    const int type = (k == 0 || k == K) ? kFlat : horizontal;
    if (k % 2 == 0) {
      for (int i = 0; i < C; ++i) segs.push_back({double(i), y, double(i + 1), y, type});
    } else {
      segs.push_back({0.0, y, 0.5, y, type});
      for (int i = 0; i + 1 < C; ++i) segs.push_back({i + 0.5, y, i + 1.5, y, type});
      segs.push_back({C - 0.5, y, double(C), y, type});
    }
  }
  for (int k = 0; k < K; ++k) {
    const double y0 = 0.5 * k, y1 = 0.5 * (k + 1);
    if (k % 2 == 0) {
      for (int i = 0; i <= C; ++i) {
        if (i < C) segs.push_back({double(i), y0, i + 0.5, y1, diagonal});
        if (i > 0) segs.push_back({double(i), y0, i - 0.5, y1, diagonal});
      }
    } else {
      for (int i = 0; i < C; ++i) {
        segs.push_back({i + 0.5, y0, double(i), y1, diagonal});
        segs.push_back({i + 0.5, y0, double(i + 1), y1, diagonal});
      }
    }
  }
  // The sides: split at every row, whole and half.
  for (int k = 0; k < K; ++k) {
    segs.push_back({0.0, 0.5 * k, 0.0, 0.5 * (k + 1), kFlat});
    segs.push_back({double(C), 0.5 * k, double(C), 0.5 * (k + 1), kFlat});
  }
  return finish(cp, segs, why, why_size);
}

// ---- Pleated hyperbolic paraboloid ----------------------------------------------

int oriPatternMakeHypar(CreasePattern* cp, const OriHyparParams& params, char* why, size_t why_size) {
  const int R = params.rings;
  if (R < 2 || R > kMaxCells) return fail(why, why_size, "rings must be 2 to %d (got %d)", kMaxCells, R);
  if (!assignValid(params.assign)) return fail(why, why_size, "unknown assignment %d", params.assign);
  // Square k has half-side k; its type alternates from the innermost (k = 1).
  auto ring = [&](int k) { return assigned(k % 2 ? kPositive : kNegative, params.assign); };
  const double corner[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
  std::vector<Segment> segs;
  for (int k = 1; k <= R; ++k) {
    const int type = k == R ? kFlat : ring(k);
    for (int c = 0; c < 4; ++c) {
      const double* p = corner[c];
      const double* q = corner[(c + 1) % 4];
      segs.push_back({k * p[0], k * p[1], k * q[0], k * q[1], type});
      // The diagonal's piece from square k - 1 (the centre for k = 1).
      segs.push_back({(k - 1) * p[0], (k - 1) * p[1], k * p[0], k * p[1], ring(k - 1)});
    }
  }
  return finish(cp, segs, why, why_size);
}

// ---- Building the mesh ---------------------------------------------------------

int oriManifoldConstructFromPattern(ORI_manifold* om, CreasePattern* cp) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  if (out == nullptr) {
    oriSetReadError("out of memory for the pattern's text");
    return -1;
  }
  const int written = LineToOpx(cp, out);
  // A text that could not grow is cut short, and the stream need not say
  // so: read back, it would look like a broken file. Whole, it ends with
  // the writer's closing tag.
  const int closed = std::fclose(out);
  static const char kEnd[] = "</java>\n";
  const size_t end = sizeof kEnd - 1;
  const bool whole = text != nullptr && size >= end && std::memcmp(text + size - end, kEnd, end) == 0;
  if (written != 0 || closed != 0 || !whole) {
    std::free(text);
    oriSetReadError("out of memory for the pattern's text");
    return -1;
  }
  FILE* in = fmemopen(text, size, "r");
  if (in == nullptr) {
    std::free(text);
    return -1;
  }
  const int result = oriManifoldConstructFromOpx(om, nullptr, in);
  std::fclose(in);
  std::free(text);
  return result;
}
