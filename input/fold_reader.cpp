// FOLD reader. The document is parsed whole by nlohmann::json; only frame 0
// (the top level) is looked at: frame_classes, vertices_coords, edges_vertices
// and edges_assignment. Everything else, custom keys included, is ignored.
#include "input/fold_reader.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "geometry/message.h"
#include "input/construct.h"
#include "input/decimal_text.h"
#include "input/line_import.h"
#include "input/line_list.h"
#include "input/read_error.h"

namespace {

using Json = nlohmann::json;

// Deepest nesting of arrays and objects accepted: FOLD needs four levels,
// custom keys a few more.
constexpr int kFoldMaxDepth = 512;

// A vertex whose |z| exceeds this share of the xy extent of frame 0 lies off
// the plane: the frame is a folded form. Below it, z is rounding noise.
constexpr double kFoldFlatZ = 1e-9;
// FOLD angles are in degrees.
constexpr double kFoldRadiansPerDegree = 3.141592653589793 / 180.0;

// Whether the arrays and objects of text nest at most max_depth deep
// (brackets inside strings do not count).
bool nestingWithin(const std::string& text, int max_depth) {
  int depth = 0;
  bool in_string = false, escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > max_depth) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

const Json* member(const Json& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

bool hasClass(const Json* classes, const char* name) {
  if (classes == nullptr || !classes->is_array()) return false;
  for (const Json& c : *classes) {
    if (c.is_string() && c.get_ref<const std::string&>() == name) return true;
  }
  return false;
}

// A vertex index: a whole number in [0, n).
bool vertexIndex(const Json& v, size_t n, size_t* index) {
  if (v.is_number_unsigned()) {
    const auto k = v.get<Json::number_unsigned_t>();
    if (k >= n) return false;
    *index = static_cast<size_t>(k);
    return true;
  }
  if (v.is_number_integer()) {
    const auto k = v.get<Json::number_integer_t>();
    if (k < 0 || static_cast<Json::number_unsigned_t>(k) >= n) return false;
    *index = static_cast<size_t>(k);
    return true;
  }
  if (v.is_number_float()) {
    const double k = v.get<double>();
    if (!(k >= 0.0) || k != std::floor(k) || k >= static_cast<double>(n)) return false;
    *index = static_cast<size_t>(k);
    return true;
  }
  return false;
}

struct FoldVertex {
  double x, y, z;
};

// Reads vertices_coords into *out. Returns false with oriReadError set.
bool readVertices(const Json& coords, std::vector<FoldVertex>* out) {
  if (!coords.is_array()) {
    oriSetReadError("vertices_coords of frame 0 is not a list");
    return false;
  }
  if (coords.size() > static_cast<size_t>(2) * kImportMaxLines) {
    oriSetReadError("frame 0 has %zu vertices, more than a pattern of %d lines has", coords.size(), kImportMaxLines);
    return false;
  }
  out->reserve(coords.size());
  for (size_t k = 0; k < coords.size(); ++k) {
    const Json& c = coords[k];
    const bool shaped = c.is_array() && (c.size() == 2 || c.size() == 3);
    double v[3] = {0.0, 0.0, 0.0};
    bool finite = shaped;
    for (size_t i = 0; finite && i < c.size(); ++i) {
      finite = c[i].is_number() && std::isfinite(v[i] = c[i].get<double>());
    }
    if (!finite) {
      oriSetReadError("vertex %zu of frame 0 is not a list of 2 or 3 finite numbers", k);
      return false;
    }
    out->push_back({v[0], v[1], v[2]});
  }
  return true;
}

// Refuses a frame whose vertices leave the plane z = 0.
bool flat(const std::vector<FoldVertex>& verts) {
  double min_x = HUGE_VAL, max_x = -HUGE_VAL, min_y = HUGE_VAL, max_y = -HUGE_VAL;
  for (const FoldVertex& v : verts) {
    min_x = std::fmin(min_x, v.x);
    max_x = std::fmax(max_x, v.x);
    min_y = std::fmin(min_y, v.y);
    max_y = std::fmax(max_y, v.y);
  }
  const double extent = verts.empty() ? 0.0 : std::fmax(max_x - min_x, max_y - min_y);
  const double tolerance = kFoldFlatZ * (std::isfinite(extent) ? extent : 0.0);
  for (size_t k = 0; k < verts.size(); ++k) {
    if (std::fabs(verts[k].z) > tolerance) {
      oriSetReadError("vertex %zu of frame 0 has z = %g: frame 0 is a folded form, not a flat crease pattern", k,
                      verts[k].z);
      return false;
    }
  }
  return true;
}

// The edges_foldAngle list of frame 0 (the top level), or of the first of
// file_frames when the top level has none; null when neither has a list.
const Json* foldAngles(const Json& doc) {
  const Json* angles = member(doc, "edges_foldAngle");
  if (angles == nullptr) {
    const Json* frames = member(doc, "file_frames");
    if (frames != nullptr && frames->is_array() && !frames->empty() && (*frames)[0].is_object()) {
      angles = member((*frames)[0], "edges_foldAngle");
    }
  }
  return angles != nullptr && angles->is_array() ? angles : nullptr;
}

// Fold angles that cannot be a crease's target, counted with the first edge
// of each kind for one message per kind.
struct AngleFaults {
  size_t count[3] = {0, 0, 0};
  size_t first[3] = {0, 0, 0};
  void add(int kind, size_t edge) {
    if (count[kind]++ == 0) first[kind] = edge;
  }
};

// The target of edge k of a mountain or valley type from its file angle
// (degrees, a valley positive): NaN, with the fault counted, when the angle
// is not a finite number, is 0 or has the other letter's sign.
double degreesTarget(bool is_number, double degrees, int type, size_t k, AngleFaults* faults) {
  if (!is_number || !std::isfinite(degrees)) {
    faults->add(0, k);
    return NAN;
  }
  if (degrees == 0.0) {
    faults->add(1, k);
    return NAN;
  }
  if ((degrees > 0.0) != (type == kOriLineTypeValley)) {
    faults->add(2, k);
    return NAN;
  }
  return degrees * kFoldRadiansPerDegree;
}

double fileTarget(const Json& angle, int type, size_t k, AngleFaults* faults) {
  return angle.is_number() ? degreesTarget(true, angle.get<double>(), type, k, faults)
                           : degreesTarget(false, 0.0, type, k, faults);
}

void reportAngleFaults(const AngleFaults& f) {
  static const char* const kWhy[3] = {"are not finite numbers", "are 0 on a mountain or valley",
                                      "have the sign of the other letter"};
  for (int kind = 0; kind < 3; ++kind) {
    if (f.count[kind] == 0) continue;
    oriMessage("%zu fold angle(s) of edges_foldAngle %s (the first on edge %zu): those creases fold to the "
               "whole target of their letter\n",
               f.count[kind], kWhy[kind], f.first[kind]);
  }
}

// Turns frame 0 of doc into lines appended to cp. Returns false with
// oriReadError set; cp may then hold some lines.
bool readFrame0(const Json& doc, std::vector<Line>* lines, size_t* n_vert, size_t* n_edge) {
  if (!doc.is_object()) {
    oriSetReadError("not a FOLD file: the JSON text is not an object");
    return false;
  }
  if (hasClass(member(doc, "frame_classes"), "foldedForm")) {
    oriSetReadError("frame 0 is a folded form (its frame_classes hold \"foldedForm\"), not a crease pattern");
    return false;
  }
  const Json* coords = member(doc, "vertices_coords");
  if (coords == nullptr) {
    if (member(doc, "file_frames") != nullptr) {
      oriSetReadError(
          "frame 0 has no vertices_coords: the coordinates are only in file_frames, "
          "which hold folded forms");
    } else {
      oriSetReadError("frame 0 has no vertices_coords");
    }
    return false;
  }
  std::vector<FoldVertex> verts;
  if (!readVertices(*coords, &verts) || !flat(verts)) return false;

  const Json* edges = member(doc, "edges_vertices");
  if (edges == nullptr || !edges->is_array()) {
    oriSetReadError("frame 0 has no edges_vertices list");
    return false;
  }
  if (edges->size() > static_cast<size_t>(kImportMaxLines)) {
    oriSetReadError("frame 0 has %zu edges, more than the %d lines a pattern may have", edges->size(), kImportMaxLines);
    return false;
  }
  const Json* assignments = member(doc, "edges_assignment");
  if (assignments != nullptr && !assignments->is_array()) assignments = nullptr;

  const Json* angles = foldAngles(doc);
  AngleFaults faults;
  for (size_t k = 0; k < edges->size(); ++k) {
    const Json& e = (*edges)[k];
    size_t a = 0, b = 0;
    if (!e.is_array() || e.size() != 2 || !vertexIndex(e[0], verts.size(), &a) ||
        !vertexIndex(e[1], verts.size(), &b)) {
      oriSetReadError("edge %zu of frame 0 does not join two of its %zu vertices", k, verts.size());
      return false;
    }
    const char* assignment = nullptr;
    if (assignments != nullptr && k < assignments->size() && (*assignments)[k].is_string()) {
      assignment = (*assignments)[k].get_ref<const std::string&>().c_str();
    }
    Line l = {verts[a].x, -verts[a].y, verts[b].x, -verts[b].y, foldAssignmentLineType(assignment)};
    if (angles != nullptr && k < angles->size() && (l.type == kOriLineTypeMountain || l.type == kOriLineTypeValley)) {
      l.target = fileTarget((*angles)[k], l.type, k, &faults);
    }
    lines->push_back(l);
  }
  reportAngleFaults(faults);
  *n_vert = verts.size();
  *n_edge = edges->size();
  return true;
}

// ---- The plain file, read without a document -------------------------------
//
// A large sheet's FOLD file is millions of numbers: the parsed document took
// most of a load's time and ten times the file's size. The files that tools
// write (this program's own among them) are plain: ASCII strings without
// escapes, frame 0's arrays of the expected shapes. Such a file is read by
// the scanner below straight into lines. Whatever it does not take as plain
// (other bytes in a string, an escape, a number beyond its reach, a shape
// the document reader refuses or reports, a key given twice, a file_frames
// that frame 0's angles would come from) is read by the document reader
// instead, so that every refusal and message is the document reader's own.

// A strict scanner of the JSON grammar for the plain subset; every method
// returns false where the text leaves that subset (or the grammar).
class PlainJson {
 public:
  PlainJson(const char* p, const char* end) : p_(p), end_(end) {}

  void space() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
  }
  bool atEnd() {
    space();
    return p_ == end_;
  }
  // Takes c (after white space).
  bool take(char c) {
    space();
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }
  // The next character after white space, or 0 at the end.
  char peek() {
    space();
    return p_ < end_ ? *p_ : '\0';
  }

  // A string of printable ASCII without escapes.
  bool string(const char** s, size_t* n) {
    if (!take('"')) return false;
    const char* start = p_;
    while (p_ < end_ && *p_ != '"') {
      const unsigned char c = static_cast<unsigned char>(*p_);
      if (c < 0x20 || c >= 0x80 || c == '\\') return false;
      ++p_;
    }
    if (p_ == end_) return false;
    *s = start;
    *n = static_cast<size_t>(p_ - start);
    ++p_;
    return true;
  }

  // A number as the document reader gives it as a double: whole numbers of
  // up to 18 digits through their integer (as it stores them), others by
  // correct rounding (as strtod); *whole is set for a whole number without
  // a sign, *value_u then holding it. value null: the number is only
  // checked.
  bool number(double* value, bool* whole = nullptr, uint64_t* value_u = nullptr) {
    space();
    const char* start = p_;
    const bool negative = p_ < end_ && *p_ == '-';
    if (negative) ++p_;
    const char* digits = p_;
    if (p_ == end_ || *p_ < '0' || *p_ > '9') return false;
    if (*p_ == '0') {
      ++p_;
    } else {
      while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    }
    const size_t n_digits = static_cast<size_t>(p_ - digits);
    bool integer = true;
    if (p_ < end_ && *p_ == '.') {
      integer = false;
      ++p_;
      if (p_ == end_ || *p_ < '0' || *p_ > '9') return false;
      while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      integer = false;
      ++p_;
      if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (p_ == end_ || *p_ < '0' || *p_ > '9') return false;
      while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    }
    if (whole != nullptr) *whole = false;
    if (integer) {
      if (n_digits > 18) return false;
      if (value == nullptr) return true;
      uint64_t u = 0;
      for (const char* d = digits; d < digits + n_digits; ++d) u = u * 10 + static_cast<uint64_t>(*d - '0');
      const int64_t i = static_cast<int64_t>(u);
      *value = negative ? static_cast<double>(-i) : static_cast<double>(u);
      if (whole != nullptr && !negative) {
        *whole = true;
        *value_u = u;
      }
      return true;
    }
    // A number the document reader would refuse (beyond the doubles) must
    // be seen even where its value is not needed.
    double v = 0.0;
    const char* stop = nullptr;
    if (!(oriShortDecimal(start, p_, &v, &stop) && stop == p_)) {
      const auto r = std::from_chars(start, p_, v);
      if (r.ec != std::errc() || r.ptr != p_ || !std::isfinite(v)) return false;
    }
    if (value != nullptr) *value = v;
    return true;
  }

  // Passes over any value of the subset, depth levels of nesting allowed.
  bool skip(int depth) {
    const char c = peek();
    if (c == '"') {
      const char* s;
      size_t n;
      return string(&s, &n);
    }
    if (c == '{' || c == '[') {
      if (depth <= 0) return false;
      ++p_;
      const char close = c == '{' ? '}' : ']';
      if (peek() == close) return take(close);
      do {
        if (c == '{') {
          const char* s;
          size_t n;
          if (!string(&s, &n) || !take(':')) return false;
        }
        if (!skip(depth - 1)) return false;
      } while (take(','));
      return take(close);
    }
    if (c == '-' || (c >= '0' && c <= '9')) return number(nullptr);
    for (const char* word : {"true", "false", "null"}) {
      const size_t n = std::strlen(word);
      if (static_cast<size_t>(end_ - p_) >= n && std::memcmp(p_, word, n) == 0) {
        p_ += n;
        return true;
      }
    }
    return false;
  }

  // Calls item() for each element of an array; item reads one element.
  template <class F>
  bool array(F item) {
    if (!take('[')) return false;
    if (peek() == ']') return take(']');
    do {
      if (!item()) return false;
    } while (take(','));
    return take(']');
  }

 private:
  const char* p_;
  const char* end_;
};

// Frame 0 as the plain scanner reads it.
struct PlainFrame0 {
  bool folded_form = false;
  bool has_file_frames = false, has_coords = false, has_edges = false, has_assignments = false, has_angles = false;
  std::vector<FoldVertex> verts;
  std::vector<uint64_t> edges;  // two vertex numbers an edge
  std::vector<std::pair<const char*, size_t>> assignments;
  std::vector<double> angles;
};

bool keyIs(const char* s, size_t n, const char* key) { return std::strlen(key) == n && std::memcmp(s, key, n) == 0; }

// Reads text as a plain FOLD file. False when it is not one (the document
// reader then reads it).
bool scanPlain(const std::string& text, PlainFrame0* f) {
  PlainJson j(text.data(), text.data() + text.size());
  if (!j.take('{')) return false;
  if (j.peek() != '}') {
    do {
      const char* key;
      size_t n;
      if (!j.string(&key, &n) || !j.take(':')) return false;
      bool ok = true;
      if (keyIs(key, n, "frame_classes")) {
        ok = j.array([&] {
          const char* s;
          size_t len;
          if (!j.string(&s, &len)) return false;
          f->folded_form = f->folded_form || keyIs(s, len, "foldedForm");
          return true;
        });
      } else if (keyIs(key, n, "vertices_coords")) {
        if (f->has_coords) return false;
        f->has_coords = true;
        ok = j.array([&] {
          double v[3] = {0.0, 0.0, 0.0};
          int k = 0;
          if (!j.array([&] { return k < 3 && j.number(&v[k++]); }) || k < 2) return false;
          f->verts.push_back({v[0], v[1], v[2]});
          return true;
        });
      } else if (keyIs(key, n, "edges_vertices")) {
        if (f->has_edges) return false;
        f->has_edges = true;
        ok = j.array([&] {
          int k = 0;
          if (!j.array([&] {
                double v;
                bool whole = false;
                uint64_t u = 0;
                if (k >= 2 || !j.number(&v, &whole, &u) || !whole) return false;
                f->edges.push_back(u);
                ++k;
                return true;
              })) {
            return false;
          }
          return k == 2;
        });
      } else if (keyIs(key, n, "edges_assignment")) {
        if (f->has_assignments) return false;
        f->has_assignments = true;
        ok = j.array([&] {
          const char* s;
          size_t len;
          if (!j.string(&s, &len)) return false;
          f->assignments.push_back({s, len});
          return true;
        });
      } else if (keyIs(key, n, "edges_foldAngle")) {
        if (f->has_angles) return false;
        f->has_angles = true;
        ok = j.array([&] {
          double v;
          if (!j.number(&v)) return false;
          f->angles.push_back(v);
          return true;
        });
      } else {
        if (keyIs(key, n, "file_frames")) f->has_file_frames = true;
        ok = j.skip(kFoldMaxDepth - 1);
      }
      if (!ok) return false;
    } while (j.take(','));
  }
  return j.take('}') && j.atEnd();
}

// Turns a plain frame 0 into lines appended to lines, as readFrame0 would.
// False, with lines untouched, wherever readFrame0 would refuse the frame: the
// document reader then says why.
bool plainFrame0(const PlainFrame0& f, std::vector<Line>* lines, size_t* n_vert, size_t* n_edge) {
  if (f.folded_form || !f.has_coords || !f.has_edges) return false;
  // Angles from file_frames are the document reader's.
  if (!f.has_angles && f.has_file_frames) return false;
  if (f.verts.size() > static_cast<size_t>(2) * kImportMaxLines) return false;
  const size_t n = f.edges.size() / 2;
  if (n > static_cast<size_t>(kImportMaxLines)) return false;
  for (uint64_t v : f.edges) {
    if (v >= f.verts.size()) return false;
  }
  // flat() sets the read error when it refuses; the document reader sets it
  // again.
  if (!flat(f.verts)) return false;
  AngleFaults faults;
  lines->reserve(n);
  std::string assignment;
  for (size_t k = 0; k < n; ++k) {
    const FoldVertex& a = f.verts[f.edges[2 * k]];
    const FoldVertex& b = f.verts[f.edges[2 * k + 1]];
    const char* letter = nullptr;
    if (k < f.assignments.size()) {
      assignment.assign(f.assignments[k].first, f.assignments[k].second);
      letter = assignment.c_str();
    }
    Line l = {a.x, -a.y, b.x, -b.y, foldAssignmentLineType(letter)};
    if (f.has_angles && k < f.angles.size() && (l.type == kOriLineTypeMountain || l.type == kOriLineTypeValley)) {
      l.target = degreesTarget(true, f.angles[k], l.type, k, &faults);
    }
    lines->push_back(l);
  }
  reportAngleFaults(faults);
  *n_vert = f.verts.size();
  *n_edge = n;
  return true;
}

// Reads text through the parsed document (oriReadError set when it
// refuses the file).
bool readDocument(std::string& text, std::vector<Line>* lines, size_t* n_vert, size_t* n_edge) {
  bool parsed = false;
  try {
    const Json doc = Json::parse(text);
    parsed = true;
    text.clear();
    text.shrink_to_fit();
    return readFrame0(doc, lines, n_vert, n_edge);
  } catch (const std::exception& e) {
    // what() reads "[json.exception.parse_error.101] parse error at line 1, ...".
    const char* why = std::strstr(e.what(), "] ");
    why = why != nullptr ? why + 2 : e.what();
    if (!parsed) {
      oriSetReadError("not a FOLD file: the JSON text does not parse (%s)", why);
    } else {
      oriSetReadError("the FOLD file cannot be read: %s", why);
    }
  }
  return false;
}

}  // namespace

int foldAssignmentLineType(const char* assignment) {
  if (assignment == nullptr || assignment[0] == '\0' || assignment[1] != '\0') return 0;
  switch (assignment[0]) {
    case 'M':
    case 'm': return kOriLineTypeMountain;
    case 'V':
    case 'v': return kOriLineTypeValley;
    case 'B':
    case 'b':
    case 'C':
    case 'c': return 1;
    default: return 0;
  }
}

namespace {

// Reads the lines of frame 0 (as LineFromFold describes them, not yet
// fitted to the paper) and prints their counts. Returns false with
// oriReadError set; lines then holds nothing.
bool readFoldLines(FILE* fp, std::vector<Line>* lines, size_t* n_edge) {
  std::string text;
  if (oriReadWholeStream(fp, kImportMaxBytes, &text) != 0) return false;
  size_t n_vert = 0;
  bool ok = false;
  {
    PlainFrame0 plain;
    ok = scanPlain(text, &plain) && plainFrame0(plain, lines, &n_vert, n_edge);
  }
  if (!ok && !nestingWithin(text, kFoldMaxDepth)) {
    oriSetReadError("not a FOLD file: its lists nest deeper than %d levels", kFoldMaxDepth);
    return false;
  }
  if (!ok) ok = readDocument(text, lines, &n_vert, n_edge);
  if (!ok) {
    lines->clear();
    return false;
  }
  oriMessage("\tFOLD frame 0: %zu vertices, %zu edges\n", n_vert, *n_edge);
  return true;
}

void setFitError(int fit, size_t n_edge) {
  if (fit == kFitNoLines) {
    oriSetReadError("frame 0 has no edges to build a sheet from");
  } else {
    oriSetReadError("the %zu edges of frame 0 have no extent to scale to the paper", n_edge);
  }
}

}  // namespace

int LineFromFold(CreasePattern* cp, FILE* fp) {
  std::vector<Line> lines;
  size_t n_edge = 0;
  if (!readFoldLines(fp, &lines, &n_edge)) {
    CreasePatternClear(cp);
    return -1;
  }
  List* last = CreasePatternLastNode(cp);
  for (const Line& l : lines) {
    Line* copy = LineNew(l.x0, l.y0, l.x1, l.y1, l.type);
    copy->target = l.target;
    last = listAdd(cp->lines, last, copy);
  }
  const int fit = CreasePatternFitPaper(cp);
  if (fit != kFitOk) {
    setFitError(fit, n_edge);
    CreasePatternClear(cp);
    return -1;
  }
  return 0;
}

int oriManifoldConstructFromFold(ORI_manifold* om, ORI_manifold* om_old, FILE* fp) {
  oriClearReadError();
  // The lines go to the chain in one array, never as a list.
  std::vector<Line> lines;
  size_t n_edge = 0;
  if (!readFoldLines(fp, &lines, &n_edge)) return -1;
  const int fit = oriFitLinesToPaper(&lines, kImportPaperSize);
  if (fit != kFitOk) {
    setFitError(fit, n_edge);
    return -1;
  }
  return oriManifoldConstructFromLineArray(om, om_old, &lines, kImportPaperSize);
}
