#include "input/cp_reader.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "geometry/message.h"
#include "input/line_import.h"
#include "input/line_list.h"
#include "input/read_error.h"

namespace {

// Longest line read whole; real ".cp" lines are under 100 characters.
constexpr int kCpLineBufferSize = 1024;

bool blank(const char* s) {
  for (; *s != '\0'; ++s) {
    if (!std::isspace(static_cast<unsigned char>(*s))) return false;
  }
  return true;
}

// Reads the five finite numbers of a line, and nothing else, into v.
bool fiveNumbers(const char* s, double v[5]) {
  for (int k = 0; k < 5; ++k) {
    char* end = nullptr;
    v[k] = std::strtod(s, &end);
    if (end == s || !std::isfinite(v[k])) return false;
    if (*end != '\0' && !std::isspace(static_cast<unsigned char>(*end))) return false;
    s = end;
  }
  return blank(s);
}

// Reads one line (without its end) into buf. False at end of input. *whole
// is false when the line did not fit; its rest is passed over. A NUL byte,
// which no number holds, is kept as a character that spoils the line.
bool nextLine(FILE* fp, char* buf, int size, bool* whole) {
  int c = std::getc(fp);
  if (c == EOF) return false;
  int n = 0;
  *whole = true;
  for (; c != EOF && c != '\n'; c = std::getc(fp)) {
    if (n + 1 < size) {
      buf[n++] = c == '\0' ? '?' : static_cast<char>(c);
    } else {
      *whole = false;
    }
  }
  buf[n] = '\0';
  return true;
}

}  // namespace

int cpLineType(double type) {
  if (type == 1.0) return 1;
  if (type == 2.0) return 2;
  if (type == 3.0) return 3;
  return 0;
}

int LineFromCp(CreasePattern* cp, FILE* fp) {
  char buf[kCpLineBufferSize];
  List* last = CreasePatternLastNode(cp);
  int lines = 0, skipped = 0;
  long line_no = 0, first_skipped = 0;
  bool whole = true;
  while (nextLine(fp, buf, sizeof buf, &whole)) {
    ++line_no;
    if (whole && blank(buf)) continue;
    double v[5];
    if (!whole || !fiveNumbers(buf, v)) {
      if (skipped++ == 0) first_skipped = line_no;
      continue;
    }
    if (lines == kImportMaxLines) {
      oriSetReadError("the file has more than %d segments, more than a pattern may have", kImportMaxLines);
      CreasePatternClear(cp);
      return -1;
    }
    last = listAdd(cp->lines, last, LineNew(v[1], v[2], v[3], v[4], cpLineType(v[0])));
    ++lines;
  }
  if (skipped > 0) {
    oriMessage("skipped %d line%s that %s not five numbers (the first is line %ld)\n", skipped,
               skipped == 1 ? "" : "s", skipped == 1 ? "is" : "are", first_skipped);
  }
  oriMessage("\tCP: %d segments\n", lines);
  const int fit = CreasePatternFitPaper(cp);
  if (fit == kFitOk) return 0;
  if (fit == kFitNoLines) {
    oriSetReadError("no line of the file is a segment (five numbers: type x0 y0 x1 y1)");
  } else {
    oriSetReadError("the %d segments of the file have no extent to scale to the paper", lines);
  }
  CreasePatternClear(cp);
  return -1;
}

int oriManifoldConstructFromCp(ORI_manifold* om, ORI_manifold* om_old, FILE* fp) {
  oriClearReadError();
  CreasePattern* cp = CreasePatternNew();
  const int result = LineFromCp(cp, fp);
  if (result != 0) {
    CreasePatternDestruct(cp);
    return result;
  }
  return oriManifoldConstructFromCreasePattern(om, om_old, cp);
}
