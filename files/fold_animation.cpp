#include "files/fold_animation.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "files/obj_export.h"
#include "geometry/manifold.h"
#include "geometry/self_intersection.h"

namespace {

// The light term and corner term the paper's colour is shown at: half lit,
// away from any crease.
constexpr double kHalfLight = 0.5, kNoCrease = 1.0;

template <typename T>
const T* at(const List* node) {
  return static_cast<const T*>(node->data);
}

// The paper colour rule of the drawing, (K1·s + K2)·v + K3·s + K4 per
// channel, clamped to [0, 1].
void paperColor(const double K[12], double rgb[3]) {
  for (int c = 0; c < 3; ++c) {
    const double x = (K[c] * kHalfLight + K[3 + c]) * kNoCrease + K[6 + c] * kHalfLight + K[9 + c];
    rgb[c] = std::fmin(1.0, std::fmax(0.0, x));
  }
}

int findRoot(std::vector<int>& parent, int a) {
  while (parent[a] != a) a = parent[a] = parent[parent[a]];
  return a;
}

// Reads om's positions into out (3 per vertex, file units, as the OBJ files
// give them). False when a vertex is out of number or not finite.
bool readPositions(const ORI_manifold* om, int n_vert, std::vector<float>* out) {
  out->assign(static_cast<size_t>(n_vert) * 3, 0.0f);
  int count = 0;
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next, ++count) {
    const ORI_vert* v = at<ORI_vert>(l);
    if (v->index < 0 || v->index >= n_vert) return false;
    double p[3];
    oriManifoldObjPosition(om, v, p);
    for (int k = 0; k < 3; ++k) {
      if (!std::isfinite(p[k]) || std::fabs(p[k]) > 1e30) return false;
      (*out)[static_cast<size_t>(v->index) * 3 + k] = static_cast<float>(p[k]);
    }
  }
  return count == n_vert;
}

}  // namespace

ORI_fold_animation* oriFoldAnimationBegin(const ORI_manifold* om, long step) {
  if (om == nullptr || om->n_vert <= 0 || om->n_face <= 0) return nullptr;
  ORI_fold_animation* anim = new ORI_fold_animation;
  anim->n_vert = om->n_vert;
  anim->flat.assign(static_cast<size_t>(om->n_vert) * 2, 0.0);
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = at<ORI_vert>(l);
    if (v->index < 0 || v->index >= om->n_vert) continue;
    const double x = v->n_out > 0 ? v->out[0]->x0 : v->pos.x, y = v->n_out > 0 ? v->out[0]->y0 : v->pos.y;
    anim->flat[static_cast<size_t>(v->index) * 2] = x * om->paper_size;
    anim->flat[static_cast<size_t>(v->index) * 2 + 1] = y * om->paper_size;
  }
  // Facets: faces joined across tessellation diagonals, which stay flat.
  std::vector<int> parent(static_cast<size_t>(om->n_face));
  std::iota(parent.begin(), parent.end(), 0);
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = at<ORI_edge>(l);
    if (!e->is_diagonal || e->face == nullptr || e->pair == nullptr || e->pair->face == nullptr) continue;
    const int a = e->face->index, b = e->pair->face->index;
    if (a < 0 || b < 0 || a >= om->n_face || b >= om->n_face) continue;
    parent[findRoot(parent, a)] = findRoot(parent, b);
  }
  std::vector<int> facet_of(static_cast<size_t>(om->n_face), -1);
  std::vector<ORI_vert*> corners;
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = at<ORI_face>(l);
    if (f->index < 0 || f->index >= om->n_face) continue;
    int& facet = facet_of[findRoot(parent, f->index)];
    corners.clear();
    const int n = oriFaceTriangles(om, f, &corners);
    if (n > 0 && facet < 0) facet = anim->n_facets++;
    for (int k = 0; k < 3 * n; ++k) anim->triangles.push_back(corners[k]->index);
    anim->facets.insert(anim->facets.end(), static_cast<size_t>(n), facet);
  }
  // Each line once: the half-edge met first.
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_edge* e = at<ORI_edge>(l);
    if (e->is_diagonal || e->pair == nullptr || e->pair->vert == nullptr || e->index > e->pair->index) continue;
    const ORI_face* beside = e->face != nullptr ? e->face : e->pair->face;
    if (beside == nullptr || beside->index < 0 || beside->index >= om->n_face) continue;
    OriLineKind kind = kOriLineFlat;
    if (e->on_boundary || e->pair->on_boundary) {
      kind = kOriLineOutline;
    } else if (e->target_angle < 0.0) {
      kind = kOriLineMountain;
    } else if (e->target_angle > 0.0) {
      kind = kOriLineValley;
    }
    anim->lines.push_back(e->pair->vert->index);
    anim->lines.push_back(e->vert->index);
    anim->line_kinds.push_back(static_cast<unsigned char>(kind));
    anim->line_facets.push_back(facet_of[findRoot(parent, beside->index)]);
  }
  paperColor(om->color_a, anim->front_rgb);
  paperColor(om->color_b, anim->back_rgb);
  const long per_frame = 3L * om->n_vert;
  anim->max_frames = static_cast<int>(std::max(2L, std::min<long>(kOriAnimationMaxFrames, kOriAnimationMaxFloats / per_frame)));
  const bool sound = std::all_of(anim->triangles.begin(), anim->triangles.end(), [&](int v) { return v >= 0 && v < om->n_vert; }) &&
                     std::all_of(anim->lines.begin(), anim->lines.end(), [&](int v) { return v >= 0 && v < om->n_vert; });
  if (!sound || anim->triangles.empty() || oriFoldAnimationFrame(anim, om, step) != 0) {
    delete anim;
    return nullptr;
  }
  return anim;
}

int oriFoldAnimationFrame(ORI_fold_animation* anim, const ORI_manifold* om, long step) {
  std::vector<float>& p = anim->scratch;
  if (om == nullptr || om->n_vert != anim->n_vert || !readPositions(om, anim->n_vert, &p)) return -1;
  const size_t per_frame = p.size();
  const long number = anim->offered++;
  if (anim->last_provisional) {
    anim->frames.resize(anim->frames.size() - per_frame);
    anim->steps.pop_back();
  }
  anim->frames.insert(anim->frames.end(), p.begin(), p.end());
  anim->steps.push_back(step);
  anim->last_provisional = number % anim->stride != 0;
  const long on_stride = static_cast<long>(anim->steps.size()) - (anim->last_provisional ? 1 : 0);
  if (on_stride <= anim->max_frames) return 0;
  // Too many: keep the frames on twice the stride, and the newest.
  anim->stride *= 2;
  const size_t n = anim->steps.size();
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    // Kept frame i was offered as number i × (old stride), but for a
    // provisional newest frame.
    const bool newest = i + 1 == n;
    const bool keep = newest || (static_cast<long>(i) * (anim->stride / 2)) % anim->stride == 0;
    if (!keep) continue;
    if (kept != i) {
      std::copy(anim->frames.begin() + i * per_frame, anim->frames.begin() + (i + 1) * per_frame,
                anim->frames.begin() + kept * per_frame);
      anim->steps[kept] = anim->steps[i];
    }
    ++kept;
  }
  anim->frames.resize(kept * per_frame);
  anim->steps.resize(kept);
  anim->last_provisional = number % anim->stride != 0;
  return 0;
}

void oriFoldAnimationSetColors(ORI_fold_animation* anim, const double front[12], const double back[12]) {
  paperColor(front, anim->front_rgb);
  paperColor(back, anim->back_rgb);
}

int oriFoldAnimationFrameCount(const ORI_fold_animation* anim) { return static_cast<int>(anim->steps.size()); }

void oriFoldAnimationBox(const ORI_fold_animation* anim, double lo[3], double hi[3]) {
  for (int k = 0; k < 3; ++k) {
    lo[k] = INFINITY;
    hi[k] = -INFINITY;
  }
  for (size_t i = 0; i < anim->frames.size(); ++i) {
    const int k = static_cast<int>(i % 3);
    lo[k] = std::fmin(lo[k], anim->frames[i]);
    hi[k] = std::fmax(hi[k], anim->frames[i]);
  }
}

void oriFoldAnimationDelete(ORI_fold_animation* anim) { delete anim; }
