#include "input/line_list.h"

#include <cmath>
#include <cstdlib>

CreasePattern* CreasePatternNew() {
  CreasePattern* cp = static_cast<CreasePattern*>(std::calloc(1, sizeof(CreasePattern)));
  cp->lines = listNew();
  cp->paper_size = 400.0;
  return cp;
}

Line* LineNew(double x0, double y0, double x1, double y1, int type) {
  Line* l = static_cast<Line*>(std::malloc(sizeof(Line)));
  l->x0 = x0;
  l->y0 = y0;
  l->x1 = x1;
  l->y1 = y1;
  l->type = type;
  l->target = NAN;
  return l;
}

Line* CreasePatternAddLine(CreasePattern* cp, double x0, double y0, double x1, double y1, int type) {
  Line* l = LineNew(x0, y0, x1, y1, type);
  listAppend(cp->lines, l);
  return l;
}

void CreasePatternDestruct(CreasePattern* cp) {
  if (cp == nullptr) return;
  for (List* n = cp->lines; n != nullptr; n = n->next) std::free(n->data);
  listDestruct(cp->lines);
  std::free(cp);
}
