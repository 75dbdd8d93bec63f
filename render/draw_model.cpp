// The folded model: faces, lines, vertices, and the paper texture.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdlib>
#include <initializer_list>

#include "files/bmp.h"
#include "geometry/manifold.h"
#include "render/draw.h"
#include "render/shading.h"
#include "render/view_state.h"

namespace {

// Texture repeats per unit of the crease-pattern plane.
constexpr double kTextureRepeat = 4.0;

// Fog of the Walk view; its start and end equal the Walk camera's near and
// far planes (with exponential fog only the density counts).
constexpr GLfloat kFogStart = 0.005f;
constexpr GLfloat kFogEnd = 4.0f;
constexpr GLfloat kFogDensity = 0.4f;

void drawFacePass(ORI_manifold* om, OriPass pass) {
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
      oriGLPaperColor(K, s, oriGLCornerTerm(e, pass), rgb);
      glColor3f(rgb[0], rgb[1], rgb[2]);
      glTexCoord2f(static_cast<GLfloat>(e->x1 * kTextureRepeat), static_cast<GLfloat>(e->y1 * kTextureRepeat));
      const vector3d& p = e->vert->pos;
      glVertex3f(static_cast<GLfloat>(p.x), static_cast<GLfloat>(p.y), static_cast<GLfloat>(p.z));
      e = e->next;
    } while (e != f->first && ++corners <= om->n_edge);
    glEnd();
  }
}

void drawLine(const ORI_edge* e) {
  glLoadName(static_cast<GLuint>(e->index));
  glBegin(GL_LINES);
  const vector3d& a = e->vert->pos;
  const vector3d& b = e->pair->vert->pos;
  glVertex3f(static_cast<GLfloat>(a.x), static_cast<GLfloat>(a.y), static_cast<GLfloat>(a.z));
  glVertex3f(static_cast<GLfloat>(b.x), static_cast<GLfloat>(b.y), static_cast<GLfloat>(b.z));
  glEnd();
}

}  // namespace

int oriGLDrawFace(ORI_manifold* om) {
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  drawFacePass(om, kOriFrontPass);
  glCullFace(GL_FRONT);
  drawFacePass(om, kOriBackPass);
  return 0;
}

int oriGLDrawWire(ORI_manifold* om, bool draw_tess, bool colours) {
  glEnable(GL_LINE_STIPPLE);
  glColor3f(0.0f, 0.0f, 0.0f);
  GLfloat lw = 1.0f;
  glGetFloatv(GL_LINE_WIDTH, &lw);
  const GLint factor = static_cast<GLint>(lw);

  if (draw_tess) {
    for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
      glColor3f(0.7f, 0.7f, 0.7f);
      if (oriGLGreyLine(e) && oriGLDrawnOnce(e)) {
        glLineStipple(factor, kOriStippleSolid);
        drawLine(e);
      }
    }
  }
  // Positive-target creases are told apart by a thinner line. The lines of
  // each width are drawn together: all are black (or the two colours of
  // their kinds), so the order does not show, and a width kept for many
  // lines lets them go to OpenGL in one batch instead of one by one.
  // A colour is the line's own, not modulated by the paper texture.
  glPushAttrib(GL_ENABLE_BIT);
  if (colours) glDisable(GL_TEXTURE_2D);
  glColor3f(0.0f, 0.0f, 0.0f);
  glLineStipple(factor, kOriStippleSolid);
  for (const bool thin : {false, true}) {
    glLineWidth(thin ? lw * 0.5f : lw);
    for (List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_edge* e = static_cast<const ORI_edge*>(l->data);
      const OriWireKind kind = oriGLWireKind(e);
      if (kind == kOriWireHidden || (kind == kOriWirePositive) != thin) continue;
      if (!oriGLDrawnOnce(e)) continue;
      if (colours) glColor3fv(oriGLWireColor(kind));
      drawLine(e);
    }
  }
  glPopAttrib();
  glLineWidth(lw);
  glDisable(GL_LINE_STIPPLE);
  return 0;
}

int oriGLDrawVert(ORI_manifold* om) {
  for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    glLoadName(static_cast<GLuint>(v->index));
    glBegin(GL_POINTS);
    glVertex3f(static_cast<GLfloat>(v->pos.x), static_cast<GLfloat>(v->pos.y), static_cast<GLfloat>(v->pos.z));
    glEnd();
  }
  return 0;
}

void LoadTexture(const char* filename) {
  std::free(theGL.texture_info);  // a previous texture's header, if any
  theGL.texture_info = nullptr;
  theGL.texture_bits = LoadDIBitmap(filename, &theGL.texture_info);
  if (theGL.texture_bits != nullptr) {
    const BITMAPINFOHEADER& h = theGL.texture_info->bmiHeader;
    const GLint width = h.biWidth;
    const GLint height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    // The loader hands out rows padded to 4 bytes, as stored in the file;
    // the image is used at its own size (GLU scales it to what the
    // implementation takes), so no read goes past the pixels loaded.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, width, height, GL_RGB, GL_UNSIGNED_BYTE, theGL.texture_bits);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glEnable(GL_TEXTURE_2D);
    std::free(theGL.texture_bits);
    theGL.texture_bits = nullptr;
  }
  const GLfloat fog_color[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  glFogfv(GL_FOG_COLOR, fog_color);
  glFogf(GL_FOG_START, kFogStart);
  glFogf(GL_FOG_END, kFogEnd);
  glFogf(GL_FOG_DENSITY, kFogDensity);
  glFogi(GL_FOG_MODE, GL_EXP);
}
