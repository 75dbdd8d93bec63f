// Line chopping: pair tests between the lines of a pattern, splitting at
// crossings and T-junctions until no pair splits any more.
#include "input/line_chop.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "input/line_list.h"
#include "input/read_error.h"

namespace {

double cross(double ux, double uy, double vx, double vy) { return ux * vy - uy * vx; }

// Whether the x (or y) extents lo_a..hi_a and b0, b1 are farther apart than
// the margin.
bool apart(double a0, double a1, double b0, double b1) {
  const double lo = a0 < a1 ? a0 : a1;
  const double hi = a0 < a1 ? a1 : a0;
  if (lo > b0 + kChopBoxMargin && lo > b1 + kChopBoxMargin) return true;
  return hi < b0 - kChopBoxMargin && hi < b1 - kChopBoxMargin;
}

// The node after which pieces are appended.
List* lastNode(List* top) {
  List* n = top;
  while (n->next != nullptr) n = n->next;
  return n;
}

// Appends the two pieces of l split at (px, py); returns the new last node.
List* appendPieces(CreasePattern* cp, List* last, const Line* l, double px, double py) {
  last = listAdd(cp->lines, last, LineNew(l->x0, l->y0, px, py, l->type));
  return listAdd(cp->lines, last, LineNew(px, py, l->x1, l->y1, l->type));
}

// Takes node out of the list, frees it and its line.
void unlink(CreasePattern* cp, List* node) {
  if (node->prev != nullptr) node->prev->next = node->next;
  if (node->next != nullptr) node->next->prev = node->prev;
  if (node == cp->lines) cp->lines = node->next;
  std::free(node->data);
  std::free(node);
}

}  // namespace

int LineChopTest(const Line* a, const Line* b, double* px, double* py) {
  if (apart(a->x0, a->x1, b->x0, b->x1) || apart(a->y0, a->y1, b->y0, b->y1)) return kLineChopNone;
  const double dax = a->x1 - a->x0, day = a->y1 - a->y0;
  const double dbx = b->x1 - b->x0, dby = b->y1 - b->y0;
  const double p = cross(b->x0 - a->x0, b->y0 - a->y0, b->x1 - a->x0, b->y1 - a->y0);
  const double q = cross(b->x1 - a->x1, b->y1 - a->y1, b->x0 - a->x1, b->y0 - a->y1);
  const double d = p + q;
  if (std::fabs(d) < kChopParallel * std::sqrt(dax * dax + day * day) * std::sqrt(dbx * dbx + dby * dby)) {
    return kLineChopNone;
  }
  const double t = p / d, t1 = q / d;  // along a: 0 at its first end, 1 at its second; t1 = 1 - t
  const double r = cross(a->x0 - b->x0, a->y0 - b->y0, a->x1 - b->x0, a->y1 - b->y0);
  const double w = cross(a->x1 - b->x1, a->y1 - b->y1, a->x0 - b->x1, a->y0 - b->y1);
  const double s = r / (r + w), s1 = w / (r + w);  // along b
  if (t > kChopCrossMargin && t1 > kChopCrossMargin && s > kChopCrossMargin && s1 > kChopCrossMargin) {
    *px = s * b->x1 + s1 * b->x0;
    *py = s * b->y1 + s1 * b->y0;
    return kLineChopCross;
  }
  if (t > kChopEndMargin && t1 > kChopEndMargin && s > -kChopEndMargin && s1 > -kChopEndMargin) {
    *px = t * a->x1 + t1 * a->x0;
    *py = t * a->y1 + t1 * a->y0;
    return kLineChopCutA;
  }
  if (t > -kChopEndMargin && t1 > -kChopEndMargin && s > kChopEndMargin && s1 > kChopEndMargin) {
    *px = s * b->x1 + s1 * b->x0;
    *py = s * b->y1 + s1 * b->y0;
    return kLineChopCutB;
  }
  return kLineChopNone;
}

int LineChop(CreasePattern* cp) {
  if (cp->lines->data == nullptr) {
    std::printf("numlist:%d\n", 0);
    return 0;
  }
  List* last = lastNode(cp->lines);
  List* a = cp->lines;
  while (a != nullptr) {
    const Line* la = static_cast<const Line*>(a->data);
    bool a_split = false;
    List* b = cp->lines;
    while (b != nullptr) {
      if (b == a) {
        b = b->next;
        continue;
      }
      const Line* lb = static_cast<const Line*>(b->data);
      double px = 0.0, py = 0.0;
      const int kind = LineChopTest(la, lb, &px, &py);
      if (kind == kLineChopNone) {
        b = b->next;
      } else if (kind == kLineChopCutB) {
        std::printf("Tb");
        last = appendPieces(cp, last, lb, px, py);
        List* next = b->next;
        unlink(cp, b);
        b = next;
      } else {
        std::printf(kind == kLineChopCross ? "X " : "Ta");
        last = appendPieces(cp, last, la, px, py);
        if (kind == kLineChopCross) {
          last = appendPieces(cp, last, lb, px, py);
          unlink(cp, b);
        }
        List* next = a->next;
        unlink(cp, a);
        a = next;
        a_split = true;
        break;
      }
    }
    if (!a_split) a = a->next;
  }
  std::printf("numlist:%d\n", listCount(cp->lines));
  return 0;
}
