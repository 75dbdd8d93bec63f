// Crease-pattern XML reader. The text is read line by line (512-byte reads);
// only the elements the data set needs are looked at, so metadata of any
// kind passes through.
#include "input/opx_reader.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "geometry/manifold.h"
#include "geometry/message.h"
#include "input/construct.h"
#include "input/read_error.h"

namespace {

constexpr int kLineBufferSize = 512;
constexpr int kScratchSize = 1024;
constexpr double kDefaultPaperSize = 400.0;

struct LineSource {
  FILE* fp;
  char buf[kLineBufferSize];
  long line_no;  // physical line of the file the last read ended on
};

// Reads the next piece of text (a line, or up to 511 characters of a longer
// one). False at end of file.
bool nextLine(LineSource* src) {
  if (std::fgets(src->buf, kLineBufferSize, src->fp) == nullptr) return false;
  if (std::strchr(src->buf, '\n') != nullptr) ++src->line_no;
  return true;
}

// The number after "<double>" (or after "<double" up to its ">") on the line:
// the whole number, whatever the case of its exponent. False when the line has
// no such element or no number.
bool scanDouble(const char* line, double* value) {
  const char* p = std::strstr(line, "<double");
  if (p == nullptr) return false;
  p = std::strchr(p, '>');
  if (p == nullptr) return false;
  ++p;
  char* end = nullptr;
  const double v = std::strtod(p, &end);
  if (end == p) return false;
  *value = v;
  return true;
}

bool scanInt(const char* line, int* value) {
  const char* p = std::strstr(line, "<int>");
  if (p == nullptr) return false;
  p += 5;
  char* end = nullptr;
  const long v = std::strtol(p, &end, 10);
  if (end == p) return false;
  if (v > 1000000 || v < -1000000) {
    *value = -1;  // an absurd type folds nothing
  } else {
    *value = static_cast<int>(v);
  }
  return true;
}

// The name of a `<void property="NAME">` on the line, or "" when there is none.
void scanProperty(const char* line, char* name) {
  name[0] = '\0';
  const char* p = std::strstr(line, "<void property");
  if (p == nullptr) return;
  if (std::sscanf(p, "<void property=\"%1023[^\">]", name) != 1) name[0] = '\0';
}

// The accepted lines of one file, with the counts of the dropped ones.
struct ReadLines {
  std::vector<OriPatternLine> lines;
  OriLineDrops drops;
};

// Reads one line record up to its `</object>`. False when the file ends first.
bool readRecord(LineSource* src, OriPatternLine* line) {
  char name[kScratchSize];
  line->type = 0;
  line->x0 = line->y0 = line->x1 = line->y1 = 0.0;
  line->target = NAN;
  while (nextLine(src)) {
    if (std::strstr(src->buf, "</object>") != nullptr) return true;
    scanProperty(src->buf, name);
    if (name[0] == '\0') continue;
    double* target = nullptr;
    if (std::strcmp(name, "x0") == 0) target = &line->x0;
    else if (std::strcmp(name, "y0") == 0) target = &line->y0;
    else if (std::strcmp(name, "x1") == 0) target = &line->x1;
    else if (std::strcmp(name, "y1") == 0) target = &line->y1;
    else if (std::strcmp(name, kOpxTargetProperty) == 0) target = &line->target;
    else if (std::strcmp(name, "type") != 0) continue;
    if (!nextLine(src)) return false;
    if (target != nullptr) {
      scanDouble(src->buf, target);
    } else {
      scanInt(src->buf, &line->type);
    }
    if (std::strstr(src->buf, "</object>") != nullptr) return true;
  }
  return false;
}

bool isLinesStart(const char* line) {
  char name[kScratchSize];
  scanProperty(line, name);
  if (std::strcmp(name, "lines") == 0) return true;
  // Current editors reach the public field through the data set's getField.
  return std::strstr(line, "<string>lines</string>") != nullptr;
}

}  // namespace

int oriManifoldConstructFromOpx(ORI_manifold* om, ORI_manifold* om_old, FILE* fp) {
  oriClearReadError();
  std::rewind(fp);
  om->paper_size = kDefaultPaperSize;
  LineSource src;
  src.fp = fp;
  src.line_no = 0;
  char scratch[kScratchSize];

  bool found = false;
  while (!found && nextLine(&src)) found = std::strstr(src.buf, "<object") != nullptr;
  if (!found) {
    oriSetReadError("no data-set object: the file is empty or not a crease pattern");
    return -1;
  }
  scratch[0] = '\0';
  std::sscanf(std::strstr(src.buf, "<object"), "<object class=\"%1023[^\">]\">", scratch);
  if (std::strcmp(scratch, "oripa.DataSet") != 0) {
    oriSetReadError("line %ld: the data set is of class \"%s\", not oripa.DataSet", src.line_no, scratch);
    return -1;
  }

  found = false;
  while (!found && nextLine(&src)) found = isLinesStart(src.buf);
  if (!found) {
    oriSetReadError("the file ends before the lines of the data set");
    return -1;
  }
  found = false;
  while (!found && nextLine(&src)) found = std::strstr(src.buf, "<array") != nullptr;
  if (!found) {
    oriSetReadError("the file ends before the array of lines");
    return -1;
  }
  long declared = 0;
  scratch[0] = '\0';
  if (std::sscanf(std::strstr(src.buf, "<array"), "<array class=\"oripa.OriLineProxy\" length=\"%1023[^\">]\">",
                  scratch) == 1) {
    declared = std::strtol(scratch, nullptr, 10);
  }

  // The records are stored as they are read, never sized from the declared
  // length: a hostile length costs nothing until the file bears it out.
  ReadLines read;
  for (long k = 0; k < declared; ++k) {
    OriPatternLine line;
    if (!readRecord(&src, &line)) {
      oriSetReadError("the file ends inside line record %ld of the %ld declared", k + 1, declared);
      return -1;
    }
    if (!oriPatternLineAccepted(line, &read.drops)) continue;
    if (static_cast<long>(read.lines.size()) >= kOriMaxPatternLines) {
      oriSetReadError("the pattern has more than %d lines", kOriMaxPatternLines);
      return -1;
    }
    read.lines.push_back(line);
  }

  double paper_size = kDefaultPaperSize;
  while (nextLine(&src)) {
    const char* v = std::strstr(src.buf, "<void");
    if (v == nullptr) continue;
    scratch[0] = '\0';
    if (std::sscanf(v, "<void property=\"%1023s", scratch) != 1 || std::strcmp(scratch, "paperSize\">") != 0) {
      continue;
    }
    bool has_double = false;
    while (!has_double && nextLine(&src)) {
      if (std::strstr(src.buf, "<double") != nullptr) {
        has_double = true;
        scanDouble(src.buf, &paper_size);
      }
    }
  }
  if (!std::isfinite(paper_size) || paper_size <= 0.0) {
    oriSetReadError("the paper size %g is not a positive number", paper_size);
    return -1;
  }
  om->paper_size = paper_size;

  return oriManifoldConstructFromAccepted(om, om_old, read.lines.data(), static_cast<int>(read.lines.size()),
                                         read.drops);
}
