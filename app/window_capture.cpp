#include "app/window_capture.h"

#include <GL/freeglut.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "app/app_state.h"
#include "app/window_display.h"
#include "files/bmp.h"
#include "files/screen_capture.h"
#include "render/read_pixels.h"

int ScreenSaveBMP(const char* filename) {
  const int previous = glutGetWindow();
  glutSetWindow(the.sub_window);
  const bool drawn = appDrawFrame();

  int w = 0, h = 0;
  oriGLViewportSize(&w, &h);
  const uint64_t size = oriBmpRowBytes(w, 24) * static_cast<uint64_t>(h > 0 ? h : 0);
  // Zeroed, so that the pad bytes at the row ends are not stray memory.
  unsigned char* bits = size > 0 && size <= 0xFFFFFFFFull ? static_cast<unsigned char*>(std::calloc(size, 1)) : nullptr;
  if (bits != nullptr) oriGLReadPixels(w, h, true, 4, bits);
  // The frame just drawn goes on screen as usual: the capture is what is
  // shown.
  if (drawn) glutSwapBuffers();

  int result = -1;
  int err = size == 0 ? EINVAL : ENOMEM;
  if (bits != nullptr) {
    errno = 0;
    result = oriCaptureSaveBMP(filename, w, h, bits);
    err = errno != 0 ? errno : EIO;
    std::free(bits);
  }
  if (previous > 0) glutSetWindow(previous);
  errno = result == 0 ? 0 : err;
  return result;
}
