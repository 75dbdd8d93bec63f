#include "render/read_pixels.h"

#include <GL/gl.h>

void oriGLViewportSize(int* w, int* h) {
  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  *w = vp[2];
  *h = vp[3];
}

void oriGLReadPixels(int w, int h, bool bgr, int row_align, unsigned char* out) {
  glPixelStorei(GL_PACK_ALIGNMENT, row_align);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_SKIP_ROWS, 0);
  glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
  GLint draw_buffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &draw_buffer);
  glReadBuffer(static_cast<GLenum>(draw_buffer));
  glReadPixels(0, 0, w, h, bgr ? GL_BGR : GL_RGB, GL_UNSIGNED_BYTE, out);
}
