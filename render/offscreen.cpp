#include "render/offscreen.h"

#include <GL/osmesa.h>

#include <cstring>
#include <vector>

#include "render/display.h"
#include "render/draw_folded.h"
#include "render/draw.h"
#include "render/read_pixels.h"
#include "render/view_state.h"

struct ORI_offscreen {
  OSMesaContext context;
  int width, height;
  std::vector<unsigned char> buffer;  // the context's colour buffer, RGBA
  std::vector<unsigned char> rows;    // a picture as read, bottom row first
};

ORI_offscreen* oriGLOffscreenNew(int w, int h) {
  if (w < 1 || h < 1 || w > kOriOffscreenMaxSide || h > kOriOffscreenMaxSide) return nullptr;
  // The window's visual: RGBA, a 24-bit depth buffer, no stencil, and the
  // compatibility profile that immediate mode needs.
  const int attributes[] = {OSMESA_FORMAT,       OSMESA_RGBA, OSMESA_DEPTH_BITS, 24, OSMESA_STENCIL_BITS, 0,
                            OSMESA_ACCUM_BITS,   0,           OSMESA_PROFILE,    OSMESA_COMPAT_PROFILE,
                            0};
  OSMesaContext context = OSMesaCreateContextAttribs(attributes, nullptr);
  if (context == nullptr) return nullptr;
  ORI_offscreen* os = new ORI_offscreen{context, w, h, {}, {}};
  os->buffer.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  os->rows.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
  if (!OSMesaMakeCurrent(context, os->buffer.data(), GL_UNSIGNED_BYTE, w, h)) {
    oriGLOffscreenDelete(os);
    return nullptr;
  }
  LoadTexture(theGL.texture_file);
  return os;
}

namespace {

// Reads the picture drawn last into rgb, top row first.
void readPicture(ORI_offscreen* os, unsigned char* rgb) {
  oriGLReadPixels(os->width, os->height, false, 1, os->rows.data());
  // Pictures are stored top row first; OpenGL reads bottom row first.
  const size_t row = static_cast<size_t>(os->width) * 3;
  for (int y = 0; y < os->height; ++y) {
    std::memcpy(rgb + static_cast<size_t>(y) * row, os->rows.data() + static_cast<size_t>(os->height - 1 - y) * row,
                row);
  }
}

}  // namespace

int oriGLOffscreenDraw(ORI_offscreen* os, ORI_manifold* om, unsigned char* rgb, const OriGLMarks* marks) {
  theGL.width = os->width;
  theGL.height = os->height;
  if (!oriGLDrawScene(om, marks)) return -1;
  readPicture(os, rgb);
  return 0;
}

int oriGLOffscreenDrawFolded(ORI_offscreen* os, ORI_manifold* om, const ORI_flatState& fs, unsigned char* rgb) {
  theGL.width = os->width;
  theGL.height = os->height;
  if (!oriGLDrawFoldedScene(om, fs)) return -1;
  readPicture(os, rgb);
  return 0;
}

void oriGLOffscreenDelete(ORI_offscreen* os) {
  if (os == nullptr) return;
  OSMesaDestroyContext(os->context);
  delete os;
}
