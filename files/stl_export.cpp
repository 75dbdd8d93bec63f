#include "files/stl_export.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "files/obj_export.h"
#include "files/write_aside.h"
#include "geometry/manifold.h"
#include "geometry/self_intersection.h"

namespace {

struct P {
  double x, y, z;
};
P sub(const P& a, const P& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
P cross(const P& a, const P& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(const P& a, const P& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double len(const P& a) { return std::sqrt(dot(a, a)); }

// An 80-byte header that does not begin with "solid", so that no reader
// takes the file for text.
constexpr char kHeader[] = "Plicata folded sheet, binary STL, millimetres";
constexpr double kMillimetresPerMetre = 1000.0;

void put32(std::vector<unsigned char>* out, uint32_t x) {
  for (int k = 0; k < 4; ++k) out->push_back(static_cast<unsigned char>(x >> (8 * k)));
}
void putFloat(std::vector<unsigned char>* out, double v) {
  const float f = static_cast<float>(v);
  uint32_t x;
  std::memcpy(&x, &f, 4);
  put32(out, x);
}

// One facet: its unit normal (0 for a sliver) and three corners.
void putTriangle(std::vector<unsigned char>* out, const P& a, const P& b, const P& c) {
  P n = cross(sub(b, a), sub(c, a));
  const double l = len(n);
  n = l > 0.0 && std::isfinite(l) ? P{n.x / l, n.y / l, n.z / l} : P{0, 0, 0};
  for (const P& p : {n, a, b, c}) {
    putFloat(out, p.x);
    putFloat(out, p.y);
    putFloat(out, p.z);
  }
  out->push_back(0);
  out->push_back(0);
}

}  // namespace

int oriStlSave(const ORI_manifold* om, double thickness, double scale, FILE* fp, std::string* why) {
  if (om == nullptr || om->n_face <= 0 || om->n_vert <= 0) {
    *why = "the sheet has no faces to make a solid of";
    return -1;
  }
  if (!(thickness > 0.0) || !std::isfinite(thickness) || !(scale > 0.0) || !std::isfinite(scale)) {
    *why = "the thickness and the scale must be positive numbers";
    return -1;
  }
  // Positions, by vertex index.
  const size_t nv = static_cast<size_t>(om->n_vert);
  std::vector<P> pos(nv);
  size_t counted = 0;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next, ++counted) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (v->index < 0 || static_cast<size_t>(v->index) >= nv) {
      *why = "the sheet's vertices are not numbered";
      return -1;
    }
    double xyz[3];
    oriManifoldObjPosition(om, v, xyz);
    pos[v->index] = {xyz[0], xyz[1], xyz[2]};
    if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) {
      *why = "vertex " + std::to_string(v->index) + " has a position that is not a number";
      return -1;
    }
  }
  if (counted != nv) {
    *why = "the sheet's vertex count does not match its list";
    return -1;
  }
  // Triangles, and each face's normal and corner angles for the offsets.
  std::vector<int> tris;
  std::vector<ORI_vert*> corners;
  std::vector<P> sum(nv, P{0, 0, 0});
  std::vector<std::vector<P>> normals(nv);
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    corners.clear();
    const int n = oriFaceTriangles(om, f, &corners);
    P face_normal{0, 0, 0};
    for (int t = 0; t < n; ++t) {
      const P c = cross(sub(pos[corners[3 * t + 1]->index], pos[corners[3 * t]->index]),
                        sub(pos[corners[3 * t + 2]->index], pos[corners[3 * t]->index]));
      face_normal = {face_normal.x + c.x, face_normal.y + c.y, face_normal.z + c.z};
      for (int k = 0; k < 3; ++k) tris.push_back(corners[3 * t + k]->index);
    }
    const double fl = len(face_normal);
    if (!(fl > 0.0) || !std::isfinite(fl)) continue;  // a sliver leans on its neighbours
    face_normal = {face_normal.x / fl, face_normal.y / fl, face_normal.z / fl};
    const ORI_edge* e = f->first;
    int k = 0;
    do {
      const int v = e->vert->index;
      const P to_next = sub(pos[e->next->vert->index], pos[v]);
      const P to_prev = sub(pos[e->pair->vert->index], pos[v]);
      const double angle = std::atan2(len(cross(to_next, to_prev)), dot(to_next, to_prev));
      sum[v] = {sum[v].x + angle * face_normal.x, sum[v].y + angle * face_normal.y, sum[v].z + angle * face_normal.z};
      normals[v].push_back(face_normal);
      e = e->next;
    } while (e != f->first && ++k <= om->n_edge);
  }
  if (tris.empty()) {
    *why = "the sheet has no faces to make a solid of";
    return -1;
  }
  // Each vertex's offset, file units.
  const double h = 0.5 * thickness;
  std::vector<P> offset(nv, P{0, 0, 0});
  for (size_t v = 0; v < nv; ++v) {
    if (normals[v].empty()) continue;
    const double l = len(sum[v]);
    // Faces whose normals cancel (a fold of exactly π): the first face's.
    const P a = l > 1e-12 ? P{sum[v].x / l, sum[v].y / l, sum[v].z / l} : normals[v].front();
    double least = 1.0;
    for (const P& n : normals[v]) least = std::fmin(least, dot(a, n));
    const double s = least > 1.0 / kOriStlMitreLimit ? 1.0 / least : kOriStlMitreLimit;
    offset[v] = {a.x * h * s, a.y * h * s, a.z * h * s};
  }
  // Walls along every half-edge with no face: the outline and holes.
  std::vector<std::pair<int, int>> walls;  // (tail, head) of the face-side half-edge
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
    if (e->face != nullptr || e->pair == nullptr || e->pair->face == nullptr) continue;
    walls.emplace_back(e->vert->index, e->pair->vert->index);
  }
  const uint64_t count = 2 * static_cast<uint64_t>(tris.size() / 3) + 2 * static_cast<uint64_t>(walls.size());
  if (count > 0xFFFFFFFFull) {
    *why = "the solid has more triangles than an STL file counts";
    return -1;
  }
  const double mm = scale * kMillimetresPerMetre;
  auto side = [&](int v, bool front) {
    const P& p = pos[v];
    const P& o = offset[v];
    return front ? P{(p.x + o.x) * mm, (p.y + o.y) * mm, (p.z + o.z) * mm} : P{(p.x - o.x) * mm, (p.y - o.y) * mm, (p.z - o.z) * mm};
  };
  std::vector<unsigned char> out(80, 0);
  std::memcpy(out.data(), kHeader, sizeof kHeader - 1);
  put32(&out, static_cast<uint32_t>(count));
  bool ok = std::fwrite(out.data(), 1, out.size(), fp) == out.size();
  out.clear();
  auto flush = [&]() {
    ok = ok && std::fwrite(out.data(), 1, out.size(), fp) == out.size();
    out.clear();
  };
  for (size_t t = 0; t + 2 < tris.size() && ok; t += 3) {
    const int a = tris[t], b = tris[t + 1], c = tris[t + 2];
    putTriangle(&out, side(a, true), side(b, true), side(c, true));
    putTriangle(&out, side(a, false), side(c, false), side(b, false));
    if (out.size() > (1u << 20)) flush();
  }
  // A face-side half-edge u → w: the front side holds u⁺ → w⁺ and the back
  // w⁻ → u⁻, so the wall holds w⁺ → u⁺ and u⁻ → w⁻.
  for (const auto& w : walls) {
    const int u = w.first, v = w.second;
    putTriangle(&out, side(v, true), side(u, true), side(u, false));
    putTriangle(&out, side(v, true), side(u, false), side(v, false));
    if (out.size() > (1u << 20)) flush();
  }
  flush();
  if (!ok || std::ferror(fp)) {
    *why = std::string("cannot write: ") + std::strerror(errno != 0 ? errno : EIO);
    return -1;
  }
  return 0;
}

int oriStlSaveFile(const ORI_manifold* om, double thickness, double scale, const char* path, std::string* why) {
  return oriWriteFileSaying(path, [&](FILE* fp, std::string* w) { return oriStlSave(om, thickness, scale, fp, w); },
                            why);
}
