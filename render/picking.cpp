#include "render/picking.h"

#include <GL/gl.h>

#include "geometry/manifold.h"
#include "render/display.h"
#include "render/draw.h"
#include "render/pick_rules.h"
#include "render/view_state.h"
#include "sim/kinematics.h"

namespace {

// Size of the vertices drawn for a pick, pixels.
constexpr GLfloat kPickPointSize = 6.0f;
// The placeholder name the drawing routines replace before each primitive.
constexpr GLuint kNoName = 0xFFFFFFFFu;

}  // namespace

void ProcessSelection(ORI_manifold* om, int* axis_pick_count, int x, int y) {
  if (om == nullptr || theGL.view_mode == kOriViewFolded) return;  // the folded form has no faces to pick
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);

  GLuint buf[kOriSelectBufferSize];
  glSelectBuffer(static_cast<GLsizei>(kOriSelectBufferSize), buf);
  glRenderMode(GL_SELECT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  MultModeSelect(x, y);
  glPushMatrix();
  glInitNames();
  if (theGL.orient_mode == 1) {
    glPushName(kOriPickFace);
    glPushName(kNoName);
    if (theGL.cp_mode) {
      oriGLDrawFaceCP(om);
    } else {
      MultXYZ(om);
      oriGLDrawFace(om);
    }
    glPopName();
    glPopName();
  } else if (theGL.orient_mode == 2) {
    glPointSize(kPickPointSize);
    glPushName(kOriPickVert);
    glPushName(kNoName);
    if (theGL.cp_mode) {
      oriGLDrawVertCP(om);
    } else {
      MultXYZ(om);
      oriGLDrawVert(om);
    }
    glPopName();
    glPopName();
  }
  glPopMatrix();
  const GLint hits = glRenderMode(GL_RENDER);

  if (hits > 0) {
    OriPickChoice choice;
    static_assert(sizeof(GLuint) == sizeof(unsigned), "hit records are read as unsigned");
    if (oriGLChoosePick(buf, kOriSelectBufferSize, hits, theGL.orient_mode, &choice)) {
      if (choice.category == kOriPickFace) {
        oriGLPickFace(om, choice.index);
      } else {
        oriGLPickVert(om, choice.index, axis_pick_count);
      }
    }
  } else if (hits == 0 && theGL.orient_mode == 1) {
    *axis_pick_count = 0;
    if (om->center_face != nullptr) oriManifoldUpdate(om, om->center_face);
  }
}
