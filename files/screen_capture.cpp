#include "files/screen_capture.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cstdint>
#include <cstdlib>

#include "app/app_state.h"
#include "files/bmp.h"
#include "render/display.h"

namespace {

// Resolution written into the header, pixels per metre.
constexpr int32_t kCapturePelsPerMeter = 10000;

}  // namespace

void ScreenSaveBMP(const char* filename) {
  const int previous = glutGetWindow();
  glutSetWindow(the.sub_window);
  const bool drawn = oriGLDrawScene();

  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  const int32_t w = vp[2], h = vp[3];
  const uint64_t row_bytes = oriBmpRowBytes(w, 24);
  const uint64_t size = row_bytes * static_cast<uint64_t>(h > 0 ? h : 0);
  // Zeroed, so that the pad bytes at the row ends are not stray memory.
  unsigned char* bits = size > 0 && size <= 0xFFFFFFFFull ? static_cast<unsigned char*>(std::calloc(size, 1)) : nullptr;
  if (bits != nullptr) {
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_BGR, GL_UNSIGNED_BYTE, bits);
  }
  // The frame just drawn goes on screen as usual: the capture is what is
  // shown.
  if (drawn) glutSwapBuffers();

  if (bits != nullptr) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = kBmpInfoHeaderSize;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<uint32_t>(size);
    info.bmiHeader.biXPelsPerMeter = kCapturePelsPerMeter;
    info.bmiHeader.biYPelsPerMeter = kCapturePelsPerMeter;
    SaveDIBitmap(filename, &info, bits);
    std::free(bits);
  }
  if (previous > 0) glutSetWindow(previous);
}
