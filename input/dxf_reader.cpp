// DXF reader. A DXF file is a sequence of group pairs, a code line and a
// value line; entities start with code 0 and their name. Only the first word
// of a line counts, so indentation, CR line ends and trailing blanks pass.
#include "input/dxf_reader.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "geometry/message.h"
#include "input/line_import.h"
#include "input/line_list.h"
#include "input/read_error.h"

namespace {

constexpr int kDxfLineBufferSize = 1024;

struct DxfSource {
  FILE* fp;
  char buf[kDxfLineBufferSize];
  char word[kDxfLineBufferSize];  // first whitespace-separated word of buf, "" for a blank line
};

// Reads the next line of the file. False at end of input. A line too long
// for the buffer keeps its start; the rest is skipped, so that the pairing
// of codes and values survives it.
bool nextLine(DxfSource* src) {
  src->word[0] = '\0';
  if (std::fgets(src->buf, kDxfLineBufferSize, src->fp) == nullptr) return false;
  if (std::strchr(src->buf, '\n') == nullptr) {
    int c;
    while ((c = std::fgetc(src->fp)) != EOF && c != '\n') {
    }
  }
  if (std::sscanf(src->buf, "%1023s", src->word) != 1) src->word[0] = '\0';
  return true;
}

// The word as an integer (group codes, colours, flags): a word that is not a
// number is 0; a number out of the int range is -1, which names nothing.
int wordInt(const char* word) {
  errno = 0;
  const long v = std::strtol(word, nullptr, 10);
  if (errno == ERANGE || v > INT_MAX || v < INT_MIN) return -1;
  return static_cast<int>(v);
}

// The word as a coordinate. False when it is not a finite number.
bool wordNumber(const char* word, double* value) {
  char* end = nullptr;
  const double v = std::strtod(word, &end);
  if (end == word || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool isName(const DxfSource* src, const char* name) { return std::strcmp(src->word, name) == 0; }

struct DxfReader {
  DxfSource src;
  CreasePattern* cp;
  List* last;       // node of the last line appended; null while the list is empty
  int created = 0;  // segments made
  int dropped = 0;  // entities or vertices without a usable coordinate

  // Appends the segment from (x0, y0) to (x1, y1), drawing coordinates.
  void addSegment(double x0, double y0, double x1, double y1, int color) {
    Line* l = LineNew(x0, -y0, x1, -y1, dxfColorLineType(color));
    last = listAdd(cp->lines, last, l);
    ++created;
  }
};

// One point's groups: 10 and 20 are read, the others skipped, up to the code
// 0 that ends the entity; the line after it (the next entity's name) is then
// the current line. Returns false at end of input.
struct DxfPoint {
  double x = 0.0, y = 0.0;
  bool has_x = false, has_y = false;
  bool complete() const { return has_x && has_y; }
};

bool readVertexGroups(DxfReader* r, DxfPoint* p) {
  DxfSource* src = &r->src;
  while (nextLine(src)) {
    const int code = wordInt(src->word);
    if (code == 0) return nextLine(src);
    if (!nextLine(src)) return false;
    if (code == 10) p->has_x = wordNumber(src->word, &p->x);
    if (code == 20) p->has_y = wordNumber(src->word, &p->y);
  }
  return false;
}

// A LINE entity, from the line after its name up to the code 0 that ends it,
// which is left as the current line. Returns false at end of input.
bool readLineEntity(DxfReader* r) {
  DxfSource* src = &r->src;
  int color = kDxfColorByLayer;
  double v[4] = {0.0, 0.0, 0.0, 0.0};  // start x, start y, end x, end y
  bool has[4] = {false, false, false, false};
  bool more = false;
  while (nextLine(src)) {
    const int code = wordInt(src->word);
    if (code == 0) {
      more = true;
      break;
    }
    if (!nextLine(src)) break;
    switch (code) {
      case 62: color = wordInt(src->word); break;
      case 10: has[0] = wordNumber(src->word, &v[0]); break;
      case 20: has[1] = wordNumber(src->word, &v[1]); break;
      case 11: has[2] = wordNumber(src->word, &v[2]); break;
      case 21: has[3] = wordNumber(src->word, &v[3]); break;
      default: break;
    }
  }
  if (has[0] && has[1] && has[2] && has[3]) {
    r->addSegment(v[0], v[1], v[2], v[3], color);
  } else {
    ++r->dropped;
  }
  return more;
}

// A POLYLINE entity with its VERTEX entities, up to SEQEND. Returns false at
// end of input. Otherwise the current line is the code line after SEQEND, or
// (*name_pending) the name of an entity that ended the polyline early and is
// still to be read.
bool readPolyline(DxfReader* r, bool* name_pending) {
  DxfSource* src = &r->src;
  *name_pending = false;
  int color = kDxfColorByLayer;
  bool closed = false;
  bool more = false;
  while (nextLine(src)) {
    const int code = wordInt(src->word);
    if (code == 0) {
      more = nextLine(src);
      break;
    }
    if (!nextLine(src)) break;
    if (code == 62) color = wordInt(src->word);
    if (code == 70) closed = (wordInt(src->word) & 1) != 0;
  }
  if (!more) return false;
  if (!isName(src, "VERTEX")) {
    *name_pending = true;
    return true;
  }

  DxfPoint first, prev;
  int points = 0;
  while (more) {
    if (isName(src, "VERTEX")) {
      DxfPoint p;
      more = readVertexGroups(r, &p);
      if (!p.complete()) {
        ++r->dropped;
        continue;
      }
      if (points == 0) {
        first = p;
      } else {
        r->addSegment(prev.x, prev.y, p.x, p.y, color);
      }
      prev = p;
      ++points;
    } else if (isName(src, "SEQEND")) {
      more = nextLine(src);
      break;
    } else {
      *name_pending = true;
      break;
    }
  }
  if (closed && points >= 2) r->addSegment(prev.x, prev.y, first.x, first.y, color);
  return more;
}

}  // namespace

int dxfColorLineType(int color) {
  if (color == 1 || (color >= 10 && color <= 39)) return 3;
  if (color == 5 || (color >= 140 && color <= 199)) return 2;
  if (color == 3 || (color >= 60 && color <= 129)) return 1;
  return 0;
}

int LineFromDxf(CreasePattern* cp, FILE* fp) {
  DxfReader r;
  r.src.fp = fp;
  r.cp = cp;
  r.last = nullptr;
  if (cp->lines->data != nullptr) {
    r.last = cp->lines;
    while (r.last->next != nullptr) r.last = r.last->next;
  }

  // The current line is a group code, or (name_pending) an entity name still
  // to be read. Every turn reads at least one line, so the loop ends with the
  // file.
  bool more = nextLine(&r.src);
  bool name_pending = false;
  while (more) {
    if (!name_pending) {
      const int code = wordInt(r.src.word);
      if (code != 0) {
        more = nextLine(&r.src) && nextLine(&r.src);
        continue;
      }
      if (!nextLine(&r.src)) break;
    }
    name_pending = false;
    if (isName(&r.src, "LINE")) {
      more = readLineEntity(&r);
    } else if (isName(&r.src, "POLYLINE")) {
      more = readPolyline(&r, &name_pending);
    }
    // Any other name stays the current line: as a word that is no number it
    // reads as code 0, and the line after it is taken as the next name.
  }

  const int listed = listCount(cp->lines);
  oriMessage("numedge:%d\n", r.created);
  oriMessage("numlist:%d\n", listed);
  if (r.dropped > 0) {
    oriMessage("dropped %d DXF entit%s without a readable coordinate\n", r.dropped, r.dropped == 1 ? "y" : "ies");
  }
  const int fit = CreasePatternFitPaper(cp);
  if (fit == kFitNoLines) {
    oriSetReadError("the drawing has no LINE or POLYLINE segment to read");
    return -1;
  }
  if (fit != kFitOk) {
    oriSetReadError("the %d segment(s) of the drawing have no extent to scale to the paper", listed);
    return -1;
  }
  return 0;
}
