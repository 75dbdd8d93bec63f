// Sections: cameras; display frame; the scene.
#include "render/display.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "geometry/manifold.h"
#include "render/draw.h"
#include "render/draw_marks.h"
#include "render/marks.h"
#include "render/view_rules.h"
#include "render/view_state.h"

namespace {

// Near and far planes of the cameras.
constexpr double kObjectNear = kOriObjectNear, kObjectFar = kOriObjectFar;
constexpr double kWalkNear = 0.005, kWalkFar = 4.0;
constexpr double kTopNear = kOriTopNear, kTopFar = 32.0;
// Distance of the Object and Top eyes above the table.
constexpr double kObjectEyeZ = kOriObjectEyeZ;
constexpr double kTopEyeZ = kOriTopEyeZ;
// The Walk camera looks at the point this far ahead, at this height.
constexpr double kWalkLookAhead = 0.5;
constexpr double kWalkLookHeight = 0.05;
// Side of the pick region, pixels.
constexpr double kPickSize = 6.0;
// Faces are pushed this far back in clip space so that lines drawn at the
// same place afterwards pass the depth test.
constexpr GLfloat kFaceDepthOffset = 0.0001f;
// Axis markers: red points of this size joined by a red line strip.
constexpr GLfloat kAxisPointSize = 6.0f;

// A picture's framing (theGL.fit), after the camera and before the turn of
// the model.
void applyFit() {
  if (!theGL.fit) return;
  const double s = theGL.fit_scale;
  glScaled(s, s, s);
  glTranslated(-theGL.fit_centre.x, -theGL.fit_centre.y, -theGL.fit_centre.z);
}

void applyMode(bool select, int x, int y) {
  const double aspect = static_cast<double>(theGL.width) / static_cast<double>(theGL.height);
  if (theGL.view_mode == 0 || theGL.view_mode == 1) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
  }
  glViewport(0, 0, theGL.width, theGL.height);
  GLint vp[4] = {0, 0, theGL.width, theGL.height};
  if (select) glGetIntegerv(GL_VIEWPORT, vp);
  glMatrixMode(GL_PROJECTION);
  if (select) gluPickMatrix(x, vp[3] - y, kPickSize, kPickSize, vp);

  double px, py;
  oriGLPanOffset(&theGL, &px, &py);
  switch (theGL.view_mode) {
    case 1: {
      gluPerspective(theGL.walk_fovy, aspect, kWalkNear, kWalkFar);
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      const vector3d& p = theGL.walk_pos;
      const vector3d& d = theGL.walk_dir;
      gluLookAt(p.x, p.y, p.z, p.x + kWalkLookAhead * d.x, p.y + kWalkLookAhead * d.y, d.z + kWalkLookHeight, 0.0,
                0.0, 1.0);
      break;
    }
    case 2: {
      const double z = theGL.zoom;
      glOrtho(-aspect / z, aspect / z, -1.0 / z, 1.0 / z, kTopNear, kTopFar);
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      gluLookAt(px, py, kTopEyeZ, px, py, 0.0, 0.0, 1.0, 0.0);
      applyFit();
      break;
    }
    default: {
      gluPerspective(oriGLObjectFovy(theGL.zoom), aspect, kObjectNear, kObjectFar);
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      gluLookAt(px, py, kObjectEyeZ, px, py, 0.0, 0.0, 1.0, 0.0);
      applyFit();
      glRotated(theGL.elevation, -1.0, 0.0, 0.0);
      glRotated(theGL.azimuth, 0.0, 1.0, 0.0);
      break;
    }
  }
}

// The crease-pattern position of a vertex: the tail of its first line.
void markerVertex(const ORI_vert* v, bool cp) {
  if (cp) {
    if (v->n_out == 0) return;
    glVertex3f(static_cast<GLfloat>(v->out[0]->x0), static_cast<GLfloat>(v->out[0]->y0), 0.0f);
  } else {
    glVertex3f(static_cast<GLfloat>(v->pos.x), static_cast<GLfloat>(v->pos.y), static_cast<GLfloat>(v->pos.z));
  }
}

void drawAxisMarkers(const ORI_manifold* om, bool cp) {
  const ORI_vert* axis[3] = {om->axis_origin, om->axis_x, om->axis_xy};
  glColor3f(1.0f, 0.0f, 0.0f);
  glPointSize(kAxisPointSize);
  glBegin(GL_POINTS);
  for (const ORI_vert* v : axis) {
    if (v != nullptr) markerVertex(v, cp);
  }
  glEnd();
  glBegin(GL_LINE_STRIP);
  for (const ORI_vert* v : axis) {
    if (v != nullptr) markerVertex(v, cp);
  }
  glEnd();
}

}  // namespace

void MultMode() { applyMode(false, 0, 0); }

void MultModeSelect(int x, int y) { applyMode(true, x, y); }

void MultXYZ(ORI_manifold* om) {
  if (om == nullptr) return;
  oriGLUpdateModelMatrix(om);
  glMultMatrixd(om->model_matrix);
}

bool oriGLDrawScene(ORI_manifold* om, const OriGLMarks* marks) {
  if (om == nullptr) return false;
  if (theGL.view_mode == 1) {
    glEnable(GL_FOG);
  } else {
    glDisable(GL_FOG);
  }
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glLineWidth(static_cast<GLfloat>(theGL.line_width));
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  MultMode();

  // The strain map, where asked for, takes the closure map's place.
  const bool closure = marks != nullptr && (marks->closure || marks->strain);
  // The crease colours show only where lines are drawn.
  const bool colours = theGL.draw_colour != 0 && theGL.draw_edge != 0;
  if (theGL.cp_mode) {
    // The pattern lies in z = 0 without the display frame.
    glDepthFunc(GL_LEQUAL);
    if (theGL.draw_face) oriGLDrawFaceCP(om);
    if (theGL.draw_face && marks != nullptr) oriGLDrawFaceHit(om, *marks, true);
    if (theGL.draw_edge) oriGLDrawWireCP(om, theGL.draw_crease != 0, marks, colours);
    if (closure) oriGLDrawVertClosureCP(om, *marks);
    if (marks != nullptr) oriGLDrawVertFlatFailCP(om, *marks);
    if (theGL.orient_mode == 2) drawAxisMarkers(om, true);
    if (marks != nullptr) {
      oriGLDrawLegend(*marks, theGL.draw_edge != 0, theGL.width, theGL.height,
                      colours ? kOriLegendCreasesPattern : kOriLegendNoCreases);
    }
    return true;
  }
  if (theGL.draw_face) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, kFaceDepthOffset);
    MultMode();
    MultXYZ(om);
    if (closure) {
      oriGLDrawFaceClosure(om, *marks);
    } else {
      oriGLDrawFace(om);
    }
    if (marks != nullptr) oriGLDrawFaceHit(om, *marks, false);
  }
  if (theGL.draw_edge) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    MultMode();
    MultXYZ(om);
    oriGLDrawWire(om, theGL.draw_crease != 0, colours);
    if (theGL.orient_mode == 2) drawAxisMarkers(om, false);
  }
  if (marks != nullptr) {
    oriGLDrawLegend(*marks, false, theGL.width, theGL.height, colours ? kOriLegendCreasesFolded : kOriLegendNoCreases);
  }
  return true;
}
