// FOLD reader. The document is parsed whole by nlohmann::json; only frame 0
// (the top level) is looked at: frame_classes, vertices_coords, edges_vertices
// and edges_assignment. Everything else, custom keys included, is ignored.
#include "input/fold_reader.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "geometry/message.h"
#include "input/construct.h"
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
double fileTarget(const Json& angle, int type, size_t k, AngleFaults* faults) {
  if (!angle.is_number() || !std::isfinite(angle.get<double>())) {
    faults->add(0, k);
    return NAN;
  }
  const double degrees = angle.get<double>();
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
bool readFrame0(const Json& doc, CreasePattern* cp, size_t* n_vert, size_t* n_edge) {
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
  List* last = CreasePatternLastNode(cp);
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
    Line* l = LineNew(verts[a].x, -verts[a].y, verts[b].x, -verts[b].y, foldAssignmentLineType(assignment));
    if (angles != nullptr && k < angles->size() && (l->type == kOriLineTypeMountain || l->type == kOriLineTypeValley)) {
      l->target = fileTarget((*angles)[k], l->type, k, &faults);
    }
    last = listAdd(cp->lines, last, l);
  }
  reportAngleFaults(faults);
  *n_vert = verts.size();
  *n_edge = edges->size();
  return true;
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

int LineFromFold(CreasePattern* cp, FILE* fp) {
  std::string text;
  if (oriReadWholeStream(fp, kImportMaxBytes, &text) != 0) return -1;
  if (!nestingWithin(text, kFoldMaxDepth)) {
    oriSetReadError("not a FOLD file: its lists nest deeper than %d levels", kFoldMaxDepth);
    return -1;
  }
  size_t n_vert = 0, n_edge = 0;
  bool parsed = false, ok = false;
  try {
    const Json doc = Json::parse(text);
    parsed = true;
    text.clear();
    text.shrink_to_fit();
    ok = readFrame0(doc, cp, &n_vert, &n_edge);
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
  if (!ok) {
    CreasePatternClear(cp);
    return -1;
  }
  oriMessage("\tFOLD frame 0: %zu vertices, %zu edges\n", n_vert, n_edge);
  const int fit = CreasePatternFitPaper(cp);
  if (fit != kFitOk) {
    if (fit == kFitNoLines) {
      oriSetReadError("frame 0 has no edges to build a sheet from");
    } else {
      oriSetReadError("the %zu edges of frame 0 have no extent to scale to the paper", n_edge);
    }
    CreasePatternClear(cp);
    return -1;
  }
  return 0;
}

int oriManifoldConstructFromFold(ORI_manifold* om, ORI_manifold* om_old, FILE* fp) {
  oriClearReadError();
  CreasePattern* cp = CreasePatternNew();
  const int result = LineFromFold(cp, fp);
  if (result != 0) {
    CreasePatternDestruct(cp);
    return result;
  }
  return oriManifoldConstructFromCreasePattern(om, om_old, cp);
}
