// ui_check: checks the files the window program writes while it is driven
// with keys and the mouse, and measures screenshots.
//
//   ui_check creases A.obj
//     Prints the sum of the fold angles (whole degrees) of the fold lines
//     ("#e" lines of kind 2 and 3) and the largest |z| of the vertices.
//   ui_check fixed A.obj B.obj U V
//     Exit 0 when the face containing the texture point (U, V) (the flat
//     pattern, shifted by +0.5) has its vertices at the same place in both
//     frames, 1 when one moved. Prints how many vertices moved in all.
//   ui_check table A.obj I0 I1 I2
//     Exit 0 when vertices I0, I1, I2 (0-based) lie on the table z = 0 and
//     I1 lies from I0 along +x.
//   ui_check same_shape A.obj B.obj
//     Exit 0 when the two frames hold the same model placed differently:
//     every line but the vertex lines is the same, and the vertices are
//     moved rigidly (all distances between them agree).
//   ui_check box SHOT.ppm X Y W H
//     Prints "x0 y0 x1 y1", the bounding box of the pixels in the rectangle
//     that are not white, relative to its corner ("none" when all are).
//
// Exit status 2 for unusable arguments or files.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Positions written with six decimals, in file units (paper 400).
constexpr double kSamePlace = 1e-3;

struct Obj {
  std::vector<double> v;   // x, y, z per vertex
  std::vector<double> vt;  // u, v per vertex
  std::vector<std::vector<int>> faces;  // 0-based vertex numbers
  long fold_degrees = 0;
};

bool readObj(const char* path, Obj* obj) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string tag;
    s >> tag;
    if (tag == "v") {
      double x, y, z;
      s >> x >> y >> z;
      obj->v.insert(obj->v.end(), {x, y, z});
    } else if (tag == "vt") {
      double u, w;
      s >> u >> w;
      obj->vt.insert(obj->vt.end(), {u, w});
    } else if (tag == "f") {
      std::vector<int> f;
      std::string corner;
      while (s >> corner) f.push_back(std::atoi(corner.c_str()) - 1);
      obj->faces.push_back(f);
    } else if (tag == "#e") {
      int a, b, kind, degrees;
      if ((s >> a >> b >> kind >> degrees) && (kind == 2 || kind == 3)) obj->fold_degrees += degrees;
    }
  }
  return !obj->v.empty() && obj->vt.size() / 2 == obj->v.size() / 3;
}

// Whether (u, v) lies inside the polygon of texture points (even-odd rule).
bool contains(const Obj& o, const std::vector<int>& f, double u, double v) {
  bool in = false;
  for (size_t i = 0, j = f.size() - 1; i < f.size(); j = i++) {
    const double ui = o.vt[2 * f[i]], vi = o.vt[2 * f[i] + 1];
    const double uj = o.vt[2 * f[j]], vj = o.vt[2 * f[j] + 1];
    if ((vi > v) != (vj > v) && u < (uj - ui) * (v - vi) / (vj - vi) + ui) in = !in;
  }
  return in;
}

double distance(const Obj& a, const Obj& b, int i) {
  const double dx = a.v[3 * i] - b.v[3 * i], dy = a.v[3 * i + 1] - b.v[3 * i + 1], dz = a.v[3 * i + 2] - b.v[3 * i + 2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

int creases(const char* path) {
  Obj o;
  if (!readObj(path, &o)) return 2;
  double zmax = 0;
  for (size_t i = 2; i < o.v.size(); i += 3) zmax = std::fmax(zmax, std::fabs(o.v[i]));
  std::printf("%ld %.3f\n", o.fold_degrees, zmax);
  return 0;
}

int fixedFace(const char* pa, const char* pb, double u, double v) {
  Obj a, b;
  if (!readObj(pa, &a) || !readObj(pb, &b) || a.v.size() != b.v.size()) return 2;
  int moved = 0;
  for (size_t i = 0; i < a.v.size() / 3; ++i) moved += distance(a, b, static_cast<int>(i)) > kSamePlace ? 1 : 0;
  std::printf("%d of %zu vertices moved\n", moved, a.v.size() / 3);
  for (const auto& f : a.faces) {
    if (!contains(a, f, u, v)) continue;
    for (int i : f) {
      if (distance(a, b, i) > kSamePlace) {
        std::printf("vertex %d of the face at (%g, %g) moved by %g\n", i, u, v, distance(a, b, i));
        return 1;
      }
    }
    return 0;
  }
  std::printf("no face at (%g, %g)\n", u, v);
  return 2;
}

int table(const char* path, int i0, int i1, int i2) {
  Obj o;
  if (!readObj(path, &o)) return 2;
  const int n = static_cast<int>(o.v.size() / 3);
  if (i0 < 0 || i1 < 0 || i2 < 0 || i0 >= n || i1 >= n || i2 >= n) return 2;
  bool ok = true;
  for (int i : {i0, i1, i2}) {
    std::printf("vertex %d at %.3f %.3f %.3f\n", i, o.v[3 * i], o.v[3 * i + 1], o.v[3 * i + 2]);
    ok = ok && std::fabs(o.v[3 * i + 2]) < kSamePlace;
  }
  ok = ok && std::fabs(o.v[3 * i1 + 1] - o.v[3 * i0 + 1]) < kSamePlace && o.v[3 * i1] > o.v[3 * i0];
  return ok ? 0 : 1;
}

int sameShape(const char* pa, const char* pb) {
  Obj a, b;
  if (!readObj(pa, &a) || !readObj(pb, &b)) return 2;
  std::ifstream ia(pa), ib(pb);
  std::string la, lb;
  while (true) {
    bool ga = static_cast<bool>(std::getline(ia, la));
    bool gb = static_cast<bool>(std::getline(ib, lb));
    while (ga && la.rfind("v ", 0) == 0) ga = static_cast<bool>(std::getline(ia, la));
    while (gb && lb.rfind("v ", 0) == 0) gb = static_cast<bool>(std::getline(ib, lb));
    if (!ga || !gb) {
      if (ga != gb) {
        std::printf("one frame has more lines\n");
        return 1;
      }
      break;
    }
    if (la != lb) {
      std::printf("'%s' against '%s'\n", la.c_str(), lb.c_str());
      return 1;
    }
  }
  const int n = static_cast<int>(a.v.size() / 3);
  double worst = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      auto d = [&](const Obj& o) {
        const double dx = o.v[3 * i] - o.v[3 * j], dy = o.v[3 * i + 1] - o.v[3 * j + 1],
                     dz = o.v[3 * i + 2] - o.v[3 * j + 2];
        return std::sqrt(dx * dx + dy * dy + dz * dz);
      };
      worst = std::fmax(worst, std::fabs(d(a) - d(b)));
    }
  }
  std::printf("distances agree within %g\n", worst);
  return worst < kSamePlace ? 0 : 1;
}

int box(const char* path, int X, int Y, int W, int H) {
  FILE* fp = std::fopen(path, "rb");
  if (fp == nullptr) return 2;
  int w = 0, h = 0, maxval = 0;
  const bool ok = std::fscanf(fp, "P6 %d %d %d", &w, &h, &maxval) == 3 && maxval == 255 && w > 0 && h > 0 &&
                  w <= 16384 && h <= 16384;
  std::fgetc(fp);
  std::vector<unsigned char> rgb(ok ? static_cast<size_t>(w) * h * 3 : 0);
  const bool read = ok && std::fread(rgb.data(), 1, rgb.size(), fp) == rgb.size();
  std::fclose(fp);
  if (!read || X < 0 || Y < 0 || X + W > w || Y + H > h) return 2;
  int x0 = W, y0 = H, x1 = -1, y1 = -1;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const unsigned char* p = &rgb[(static_cast<size_t>(Y + y) * w + (X + x)) * 3];
      if (p[0] > 245 && p[1] > 245 && p[2] > 245) continue;
      if (x < x0) x0 = x;
      if (y < y0) y0 = y;
      if (x > x1) x1 = x;
      if (y > y1) y1 = y;
    }
  }
  if (x1 < 0) {
    std::printf("none\n");
  } else {
    std::printf("%d %d %d %d\n", x0, y0, x1, y1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "creases" && argc == 3) return creases(argv[2]);
  if (cmd == "fixed" && argc == 6) return fixedFace(argv[2], argv[3], std::atof(argv[4]), std::atof(argv[5]));
  if (cmd == "table" && argc == 6) return table(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
  if (cmd == "same_shape" && argc == 4) return sameShape(argv[2], argv[3]);
  if (cmd == "box" && argc == 7) {
    return box(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
  }
  std::fprintf(stderr,
               "usage: ui_check creases A.obj | fixed A.obj B.obj U V | table A.obj I0 I1 I2 | same_shape A.obj B.obj |\n"
               "                box SHOT.ppm X Y W H\n");
  return 2;
}
