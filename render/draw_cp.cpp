// The flat crease pattern in the plane z = 0, shaded by the current fold.
#include <GL/gl.h>

#include <cmath>
#include <cstddef>
#include <initializer_list>

#include "geometry/manifold.h"
#include "render/color_scale.h"
#include "render/draw.h"
#include "render/marks.h"
#include "render/shading.h"

namespace {

void drawFacePassCP(ORI_manifold* om, OriPass pass) {
  const double* K = pass == kOriFrontPass ? om->color_a : om->color_b;
  for (List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_face* f = static_cast<const ORI_face*>(l->data);
    const double s = oriGLLightTerm(om, f, pass);
    glLoadName(static_cast<GLuint>(f->index));
    glBegin(GL_POLYGON);
    const ORI_edge* e = f->first;
    int corners = 0;
    do {
      float rgb[3];
      oriGLPaperColor(K, s, oriGLCornerTermCP(e, pass), rgb);
      glColor3f(rgb[0], rgb[1], rgb[2]);
      glVertex3f(static_cast<GLfloat>(e->x1), static_cast<GLfloat>(e->y1), 0.0f);
      e = e->next;
    } while (e != f->first && ++corners <= om->n_edge);
    glEnd();
  }
}

// From the head to the tail, in crease-pattern coordinates.
void drawLineCP(const ORI_edge* e) {
  glLoadName(static_cast<GLuint>(e->index));
  glBegin(GL_LINES);
  glVertex3f(static_cast<GLfloat>(e->x1), static_cast<GLfloat>(e->y1), 0.0f);
  glVertex3f(static_cast<GLfloat>(e->x0), static_cast<GLfloat>(e->y0), 0.0f);
  glEnd();
}

}  // namespace

int oriGLDrawFaceCP(ORI_manifold* om) {
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  drawFacePassCP(om, kOriFrontPass);
  glCullFace(GL_FRONT);
  drawFacePassCP(om, kOriBackPass);
  return 0;
}

int oriGLDrawWireCP(ORI_manifold* om, bool draw_tess, const OriGLMarks* marks, bool colours) {
  glEnable(GL_LINE_STIPPLE);
  glColor3f(0.0f, 0.0f, 0.0f);
  GLfloat lw = 1.0f;
  glGetFloatv(GL_LINE_WIDTH, &lw);
  const GLint factor = static_cast<GLint>(lw);

  if (draw_tess) {
    glColor3f(0.7f, 0.7f, 0.7f);
    for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
      if (oriGLGreyLine(e) && oriGLDrawnOnce(e)) {
        glLineStipple(factor, kOriStippleSolid);
        drawLineCP(e);
      }
    }
  }
  // Positive-target creases are told apart by the dash, at full width. The
  // solid lines and the dashed ones are drawn together: all are black (or
  // the two colours of their kinds, or coloured each by its own distance
  // from its target), and every line starts its own dash, so the order does
  // not show, and a pattern kept for many lines lets them go to OpenGL in
  // one batch.
  const bool to_go = marks != nullptr && marks->closure && !marks->strain;
  // A colour is the line's own, not modulated by the paper texture.
  glPushAttrib(GL_ENABLE_BIT);
  if (colours) glDisable(GL_TEXTURE_2D);
  glColor3f(0.0f, 0.0f, 0.0f);
  for (const bool dashed : {false, true}) {
    glLineStipple(factor, dashed ? kOriStippleDashed : kOriStippleSolid);
    for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
      const OriWireKind kind = oriGLWireKind(e);
      if (kind == kOriWireHidden || (kind == kOriWirePositive) != dashed) continue;
      if (!oriGLDrawnOnce(e)) continue;
      if (to_go) {
        float rgb[3] = {0.0f, 0.0f, 0.0f};
        const int c = e->crease_index;
        if (kind != kOriWireBoundary && c >= 0 && static_cast<size_t>(c) < marks->crease_to_go.size()) {
          oriGLToGoColor(std::fabs(marks->crease_to_go[c]) / std::fabs(e->target_angle), rgb);
        }
        glColor3fv(rgb);
      } else if (colours) {
        glColor3fv(oriGLWireColor(kind));
      }
      drawLineCP(e);
    }
  }
  glPopAttrib();
  // Off again, so that the axis markers drawn next are solid rather than
  // dashed like whichever crease came last.
  glDisable(GL_LINE_STIPPLE);
  return 0;
}

int oriGLDrawVertCP(ORI_manifold* om) {
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (v->n_out == 0) continue;  // no line to give a position
    glLoadName(static_cast<GLuint>(v->index));
    glBegin(GL_POINTS);
    const ORI_edge* h = v->out[0];
    glVertex3f(static_cast<GLfloat>(h->x0), static_cast<GLfloat>(h->y0), 0.0f);
    glEnd();
  }
  return 0;
}
