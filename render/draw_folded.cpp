#include "render/draw_folded.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "flat/flat_lines.h"
#include "flat/flat_state.h"
#include "geometry/manifold.h"
#include "render/shading.h"
#include "render/view_rules.h"
#include "render/view_state.h"

namespace {

// The light term the paper colour rule is given for a facet seen face on.
constexpr double kFoldedLight = 0.75;

void paperColor(const ORI_manifold* om, bool front, float rgb[3]) {
  oriGLPaperColor(front ? om->color_a : om->color_b, kFoldedLight, 1.0, rgb);
  for (int c = 0; c < 3; ++c) {
    if (!front) rgb[c] *= kOriFoldedBackTint[c];
    rgb[c] = std::min(1.0f, std::max(0.0f, rgb[c]));
  }
}

}  // namespace

bool oriGLDrawFoldedScene(ORI_manifold* om, const ORI_flatState& fs) {
  const ORI_foldedForm& form = fs.form;
  if (om == nullptr || form.n_vert != om->n_vert || form.n_face != om->n_face || form.n_face == 0) return false;
  const bool stacked = fs.layers.status == kOriLayerFound && !fs.layers.view_start.empty() &&
                       static_cast<int>(fs.layers.facet_level.size()) == form.n_facet;

  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_FOG);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LINE_STIPPLE);

  // Camera: the folded form's box, centred, fitted to the drawing area.
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (int v = 0; v < form.n_vert; ++v) {
    const double x = form.vertex_xy[2 * v], y = form.vertex_xy[2 * v + 1];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
  }
  if (!(x1 >= x0)) x0 = y0 = -0.5, x1 = y1 = 0.5;
  const double w = std::max(1, theGL.width), h = std::max(1, theGL.height);
  const double aspect = w / h;
  const double half = std::max(std::max((x1 - x0) / aspect, y1 - y0) * 0.5 / kOriFitFill, 1e-9) /
                      std::max(theGL.zoom, 1e-9);
  const double cx = 0.5 * (x0 + x1), cy = 0.5 * (y0 + y1);
  glViewport(0, 0, theGL.width, theGL.height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(cx - half * aspect, cx + half * aspect, cy - half, cy + half, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  const size_t bound = static_cast<size_t>(om->n_edge) + 1;
  const ORI_layerOrder& L = fs.layers;
  if (stacked) {
    // Every face in the drawing order first, so that the seams where the
    // view's pieces of different faces meet show paper, not the table;
    // then what shows from above: the parts of faces nothing covers.
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    std::vector<const ORI_face*> order;
    for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
      order.push_back(static_cast<const ORI_face*>(l->data));
    }
    const std::vector<int>& level = L.facet_level;
    std::stable_sort(order.begin(), order.end(), [&](const ORI_face* a, const ORI_face* b) {
      return level[form.face_facet[a->index]] < level[form.face_facet[b->index]];
    });
    for (const ORI_face* f : order) {
      float rgb[3];
      paperColor(om, form.facet_up[form.face_facet[f->index]] > 0, rgb);
      glColor3fv(rgb);
      glBegin(GL_POLYGON);
      const ORI_edge* e = f->first;
      size_t steps = 0;
      do {
        const int v = e->vert->index;
        glVertex2d(form.vertex_xy[2 * v], form.vertex_xy[2 * v + 1]);
        e = e->next;
      } while (e != f->first && ++steps < bound);
      glEnd();
    }
    for (size_t k = 0; k + 1 < L.view_start.size(); ++k) {
      float rgb[3];
      paperColor(om, form.facet_up[form.face_facet[L.view_face[k]]] > 0, rgb);
      glColor3fv(rgb);
      glBegin(GL_POLYGON);
      for (int i = L.view_start[k]; i < L.view_start[k + 1]; ++i) glVertex2d(L.view_xy[2 * i], L.view_xy[2 * i + 1]);
      glEnd();
    }
  } else {
    // The x-ray: every face translucent over the others.
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_face* f = static_cast<const ORI_face*>(l->data);
      float rgb[3];
      paperColor(om, form.facet_up[form.face_facet[f->index]] > 0, rgb);
      glColor4f(rgb[0] * kOriFoldedXrayShade, rgb[1] * kOriFoldedXrayShade, rgb[2] * kOriFoldedXrayShade,
                kOriFoldedXrayAlpha);
      glBegin(GL_POLYGON);
      const ORI_edge* e = f->first;
      size_t steps = 0;
      do {
        const int v = e->vert->index;
        glVertex2d(form.vertex_xy[2 * v], form.vertex_xy[2 * v + 1]);
        e = e->next;
      } while (e != f->first && ++steps < bound);
      glEnd();
    }
    glDisable(GL_BLEND);
  }

  if (theGL.draw_edge) {
    glLineWidth(static_cast<GLfloat>(std::max(1, theGL.line_width)));
    glColor3f(0.0f, 0.0f, 0.0f);
    glBegin(GL_LINES);
    if (stacked) {
      for (size_t k = 0; k + 3 < L.view_lines.size(); k += 4) {
        glVertex2d(L.view_lines[k], L.view_lines[k + 1]);
        glVertex2d(L.view_lines[k + 2], L.view_lines[k + 3]);
      }
    } else {
      for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
        const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
        if (e->pair == nullptr || !oriGLDrawnOnce(e)) continue;
        if (!oriFlatLineOnOutline(e) && oriFlatLineFold(e) == 0) continue;  // the paper is flat across it
        const int a = e->vert->index, b = e->pair->vert->index;
        glVertex2d(form.vertex_xy[2 * a], form.vertex_xy[2 * a + 1]);
        glVertex2d(form.vertex_xy[2 * b], form.vertex_xy[2 * b + 1]);
      }
    }
    glEnd();
  }
  return true;
}
