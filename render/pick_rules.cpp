#include "render/pick_rules.h"

#include <cstdio>

#include "geometry/manifold.h"
#include "geometry/message.h"
#include "render/view_state.h"
#include "sim/kinematics.h"

bool oriGLMouseButton(theGLstruct* gl, int button, int state, int x, int y) {
  if (state != kOriMouseDown && state != kOriMouseUp) return false;
  const bool down = state == kOriMouseDown;
  switch (button) {
    case kOriMouseLeft: return down;
    case kOriMouseMiddle:
      if (down) {
        gl->pan_drag = 1;
        gl->pan_press_x = gl->pan_cur_x = x;
        gl->pan_press_y = gl->pan_cur_y = y;
      } else {
        gl->pan_drag = 0;
        gl->pan_x += gl->pan_press_x - x;
        gl->pan_y += y - gl->pan_press_y;
        gl->pan_press_x = x;
        gl->pan_press_y = y;
      }
      return false;
    case kOriMouseRight:
      if (down) {
        gl->rot_press_x = x;
        gl->rot_press_y = y;
        gl->rotate_drag = 1;
      } else {
        gl->rotate_drag = 0;
        gl->azimuth_base = gl->azimuth;
        gl->elevation_base = gl->elevation;
      }
      return false;
    default: return false;
  }
}

void oriGLMouseMotion(theGLstruct* gl, int x, int y) {
  if (gl->pan_drag) {
    gl->pan_cur_x = x;
    gl->pan_cur_y = y;
  }
  if (gl->rotate_drag) {
    // A drawing window is never narrower than a pixel.
    const double w = gl->width < 1 ? 1.0 : static_cast<double>(gl->width);
    gl->azimuth = static_cast<double>((x - gl->rot_press_x) * kOriDragTurn) / w + gl->azimuth_base;
    gl->elevation = static_cast<double>((gl->rot_press_y - y) * kOriDragTurn) / w + gl->elevation_base;
    if (gl->elevation >= kOriElevationLimit) gl->elevation = kOriElevationLimit;
    if (gl->elevation <= -kOriElevationLimit) gl->elevation = -kOriElevationLimit;
  }
}

bool oriGLChoosePick(const unsigned* buf, size_t buf_size, int hits, int orient_mode, OriPickChoice* choice) {
  // Offsets of the records that fit the buffer.
  size_t offsets[kOriSelectBufferSize / 3 + 1];
  int count = 0;
  size_t p = 0;
  for (int i = 0; i < hits && count < static_cast<int>(sizeof offsets / sizeof offsets[0]); ++i) {
    if (p + 3 > buf_size) break;
    const size_t n = buf[p];
    if (n > buf_size - p - 3) break;
    offsets[count++] = p;
    p += n + 3;
  }
  for (int i = 0; i < count; ++i) {
    const unsigned* r = buf + offsets[i];
    if (r[0] != 2) continue;
    if (r[3] == kOriPickFace && orient_mode == 1) {
      const unsigned* best = r;
      for (int j = i + 1; j < count; ++j) {
        const unsigned* s = buf + offsets[j];
        if (s[0] == 2 && s[3] == kOriPickFace && s[1] < best[1]) best = s;
      }
      *choice = OriPickChoice{kOriPickFace, best[4]};
      return true;
    }
    if (r[3] == kOriPickVert && orient_mode == 2) {
      *choice = OriPickChoice{kOriPickVert, r[4]};
      return true;
    }
  }
  return false;
}

namespace {

template <typename T>
T* findByIndex(List* list, unsigned index) {
  for (List* l = list; l != nullptr && l->data != nullptr; l = l->next) {
    T* record = static_cast<T*>(l->data);
    if (record->index >= 0 && static_cast<unsigned>(record->index) == index) return record;
  }
  return nullptr;
}

}  // namespace

bool oriGLPickFace(ORI_manifold* om, unsigned index) {
  ORI_face* f = findByIndex<ORI_face>(om->faces, index);
  if (f == nullptr || f->first == nullptr) return false;
  om->center_face = f;
  oriManifoldUpdate(om, f);

  vector3d g = {0.0, 0.0, 0.0};
  int corners = 0;
  const ORI_edge* e = f->first;
  do {
    g += e->vert->pos;
    ++corners;
    e = e->next;
  } while (e != f->first && corners <= om->n_edge);
  g /= corners;
  const double* m = om->model_matrix;
  input(om->center, m[0] * g.x + m[4] * g.y + m[8] * g.z + m[12], m[1] * g.x + m[5] * g.y + m[9] * g.z + m[13],
        m[2] * g.x + m[6] * g.y + m[10] * g.z + m[14]);

  om->axis_origin = nullptr;
  om->axis_x = nullptr;
  om->axis_xy = nullptr;
  return true;
}

bool oriGLPickVert(ORI_manifold* om, unsigned index, int* axis_pick_count) {
  ORI_vert* v = findByIndex<ORI_vert>(om->verts, index);
  if (v == nullptr) return false;
  oriMessage("%d\n", v->index);
  switch (*axis_pick_count) {
    case 1:
      om->axis_x = v;
      *axis_pick_count = 2;
      break;
    case 2:
      om->axis_xy = v;
      *axis_pick_count = 0;
      break;
    default:
      om->axis_origin = v;
      om->axis_x = nullptr;
      om->axis_xy = nullptr;
      *axis_pick_count = 1;
      break;
  }
  return true;
}
