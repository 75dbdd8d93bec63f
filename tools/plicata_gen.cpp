// plicata-gen: writes crease patterns made by rule as crease-pattern XML:
// a Miura-ori, a single vertex, the waterbomb tessellation, the pleated
// hyperbolic paraboloid.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "input/line_list.h"
#include "input/opx_writer.h"
#include "input/pattern_gen.h"

namespace {

const char kUsage[] =
    "usage: plicata-gen KIND [options] [-o FILE]\n"
    "\n"
    "Writes a crease pattern made by rule as crease-pattern XML (.opx) on standard\n"
    "output, or to FILE. The sheet is centred on the origin, its longer side 400 units.\n"
    "Line types: 1 outline, 2 mountain, 3 valley.\n"
    "\n"
    "  miura       a Miura-ori of parallelograms\n"
    "    --rows R          parallelograms along Y (default 4)\n"
    "    --cols C          parallelograms along X (default 4)\n"
    "    --angle DEG       acute sector angle, above 0 and at most 90 (default 60)\n"
    "    --ratio L         zig-zag side over straight side (default 1)\n"
    "    --assign A        standard, swapped, positive (every fold line type 2) or\n"
    "                      negative (type 3) (default standard)\n"
    "  vertex      a single vertex at the centre of a square sheet\n"
    "    --sectors A,B,... sector angles in degrees, summing to 360 (default 70,100,110,80)\n"
    "    --types T,U,...   line type of each crease, 0 to 3 (default 2,3,2,2)\n"
    "    --rotation DEG    direction of the first crease (default 0)\n"
    "  waterbomb   the waterbomb tessellation of triangles\n"
    "    --rows R          squares along Y (default 2)\n"
    "    --cols C          squares along X (default 2)\n"
    "    --assign A        standard, swapped, positive (every fold line type 2) or\n"
    "                      negative (type 3) (default standard)\n"
    "  hypar       the pleated hyperbolic paraboloid: concentric squares and diagonals\n"
    "    --rings N         squares, the outline included, 2 or more (default 8)\n"
    "    --assign A        standard, swapped, positive or negative (default standard)\n"
    "\n"
    "  -o FILE     write to FILE\n"
    "  --version   print the version and stop\n"
    "  --help      show this text\n";

int usageError(const std::string& msg) {
  std::fprintf(stderr, "plicata-gen: %s (see plicata-gen --help)\n", msg.c_str());
  return 2;
}

bool parseInt(const char* s, int* out) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (errno != 0 || end == s || *end != '\0' || v < -1000000 || v > 1000000) return false;
  *out = static_cast<int>(v);
  return true;
}

bool parseDouble(const char* s, double* out) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(s, &end);
  if (errno != 0 || end == s || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

// A comma-separated list of numbers.
bool parseList(const char* s, std::vector<double>* out) {
  out->clear();
  std::string text(s);
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    double v;
    if (!parseDouble(item.c_str(), &v)) return false;
    out->push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return !out->empty();
}

bool parseAssign(const char* s, int* out) {
  const char* names[] = {"standard", "swapped", "positive", "negative"};
  const int values[] = {kOriAssignStandard, kOriAssignSwapped, kOriAssignPositive, kOriAssignNegative};
  for (int i = 0; i < 4; ++i) {
    if (std::strcmp(s, names[i]) == 0) {
      *out = values[i];
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("plicata-gen %s\n", PLICATA_VERSION);
    return 0;
  }
  if (argc < 2) return usageError("no pattern kind given");
  const std::string kind = argv[1];
  if (kind != "miura" && kind != "vertex" && kind != "waterbomb" && kind != "hypar") return usageError("unknown pattern kind " + kind);

  OriMiuraParams miura;
  OriVertexParams vertex;
  OriWaterbombParams waterbomb;
  OriHyparParams hypar;
  std::string out_name;
  std::vector<double> sectors, types;

  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a.empty() || a[0] != '-') return usageError("unexpected argument " + a);
    if (i + 1 >= argc) return usageError(a + " needs a value");
    const char* v = argv[++i];
    bool ok = true;
    if (a == "-o") {
      out_name = v;
    } else if (a == "--rings" && kind == "hypar") {
      ok = parseInt(v, &hypar.rings);
    } else if (a == "--assign" && kind == "hypar") {
      ok = parseAssign(v, &hypar.assign);
    } else if (a == "--rows" && kind != "vertex" && kind != "hypar") {
      ok = parseInt(v, kind == "miura" ? &miura.rows : &waterbomb.rows);
    } else if (a == "--cols" && kind != "vertex" && kind != "hypar") {
      ok = parseInt(v, kind == "miura" ? &miura.cols : &waterbomb.cols);
    } else if (a == "--assign" && kind != "vertex") {
      ok = parseAssign(v, kind == "miura" ? &miura.assign : &waterbomb.assign);
    } else if (a == "--angle" && kind == "miura") {
      ok = parseDouble(v, &miura.sector_deg);
    } else if (a == "--ratio" && kind == "miura") {
      ok = parseDouble(v, &miura.ratio);
    } else if (a == "--sectors" && kind == "vertex") {
      ok = parseList(v, &sectors);
    } else if (a == "--types" && kind == "vertex") {
      ok = parseList(v, &types);
    } else if (a == "--rotation" && kind == "vertex") {
      ok = parseDouble(v, &vertex.rotation_deg);
    } else {
      return usageError("option " + a + " does not apply to " + kind);
    }
    if (!ok) return usageError("bad value for " + a + ": " + v);
  }

  if (kind == "vertex" && (!sectors.empty() || !types.empty())) {
    if (sectors.empty()) return usageError("--types needs --sectors");
    if (sectors.size() > static_cast<size_t>(kOriPatternMaxDegree)) return usageError("too many sectors");
    if (types.empty()) types.assign(sectors.size(), 2.0);
    if (types.size() != sectors.size()) return usageError("--types must give one type per sector");
    vertex.degree = static_cast<int>(sectors.size());
    for (size_t k = 0; k < sectors.size(); ++k) {
      vertex.sector_deg[k] = sectors[k];
      if (types[k] != std::floor(types[k])) return usageError("line types are whole numbers");
      vertex.type[k] = static_cast<int>(types[k]);
    }
  }

  CreasePattern* cp = CreasePatternNew();
  char why[256] = "";
  int made;
  if (kind == "miura") {
    made = oriPatternMakeMiura(cp, miura, why, sizeof why);
  } else if (kind == "vertex") {
    made = oriPatternMakeVertex(cp, vertex, why, sizeof why);
  } else if (kind == "hypar") {
    made = oriPatternMakeHypar(cp, hypar, why, sizeof why);
  } else {
    made = oriPatternMakeWaterbomb(cp, waterbomb, why, sizeof why);
  }
  if (made != 0) {
    std::fprintf(stderr, "plicata-gen: %s: %s\n", kind.c_str(), why);
    CreasePatternDestruct(cp);
    return 1;
  }

  FILE* fp = out_name.empty() ? stdout : std::fopen(out_name.c_str(), "w");
  if (fp == nullptr) {
    std::fprintf(stderr, "plicata-gen: %s: cannot write: %s\n", out_name.c_str(), std::strerror(errno));
    CreasePatternDestruct(cp);
    return 1;
  }
  int status = LineToOpx(cp, fp) == 0 ? 0 : 1;
  if (fp != stdout && std::fclose(fp) != 0) status = 1;
  if (status != 0) std::fprintf(stderr, "plicata-gen: %s: writing failed\n", out_name.empty() ? "-" : out_name.c_str());
  CreasePatternDestruct(cp);
  return status;
}
