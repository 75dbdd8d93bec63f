#include "python/picture.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "python/sheet.h"

#ifdef PLICATA_OFFSCREEN
#include <stb_image_write.h>

#include "geometry/manifold.h"
#include "render/marks.h"
#include "render/offscreen.h"
#include "render/view_rules.h"
#include "render/view_state.h"
#endif

namespace plicata {

namespace {

// The Object camera's tilt and the zoom stay within what the window's
// mouse and keys reach (plicata-fold's limits).
constexpr double kMaxElevation = 100.0;
// Largest side of a picture, pixels (the off-screen context's limit).
constexpr int kMaxSide = 8192;
constexpr double kMinZoom = 0.25, kMaxZoom = 64.0;

#ifdef PLICATA_OFFSCREEN
// The view state and the off-screen context are one per process.
std::mutex picture_mutex;

void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  out->insert(out->end(), bytes, bytes + size);
}
#endif

}  // namespace

bool picturesAvailable() {
#ifdef PLICATA_OFFSCREEN
  return true;
#else
  return false;
#endif
}

std::vector<unsigned char> picturePng(const Sheet& sheet, const PictureOptions& o) {
  if (o.width < 1 || o.height < 1 || o.width > kMaxSide || o.height > kMaxSide) {
    throw std::invalid_argument("width and height must be whole numbers of pixels from 1 to 8192");
  }
  if (o.view < 0 || o.view > 2) throw std::invalid_argument("view must be 'object', 'top' or 'cp'");
  if (!std::isfinite(o.azimuth) || !(std::fabs(o.elevation) <= kMaxElevation)) {
    throw std::invalid_argument("azimuth must be a number of degrees, elevation one from -100 to 100");
  }
  if (!(o.zoom >= kMinZoom && o.zoom <= kMaxZoom)) throw std::invalid_argument("zoom must be from 0.25 to 64");
#ifdef PLICATA_OFFSCREEN
  std::lock_guard<std::mutex> lock(picture_mutex);
  // No paper texture: a notebook's folder has none, and the picture should
  // not depend on where the interpreter runs.
  theGL.texture_file[0] = '\0';
  ORI_offscreen* context = oriGLOffscreenNew(o.width, o.height);
  if (context == nullptr) throw std::runtime_error("cannot make an off-screen OpenGL context for the picture");
  std::vector<unsigned char> rgb(static_cast<size_t>(o.width) * static_cast<size_t>(o.height) * 3);
  int drawn = -1;
  try {
    sheet.withPattern([&](ORI_manifold* om, const ORISIM_matrix* osm) {
      const OriPictureView view = static_cast<OriPictureView>(o.view);
      oriGLPictureView(&theGL, view, o.azimuth, o.elevation, o.width, o.height);
      theGL.zoom = o.zoom;
      theGL.draw_edge = o.edges ? 1 : 0;
      OriGLExtent shape;
      if (view == kOriPictureCP) {
        oriGLExtentAddPattern(&shape, om);
      } else {
        oriGLExtentAddModel(&shape, om, view, o.azimuth, o.elevation, o.width, o.height);
      }
      oriGLFitPicture(&theGL, shape, view, o.width, o.height);
      OriGLMarks marks;
      marks.closure = o.closure;
      oriGLMarksCollisions(&marks, om);
      if (o.closure) oriGLMarksClosure(&marks, osm, om, nullptr);
      // The drawing computes the display frame into the mesh; the shape's
      // own matrix is put back, so that a picture never moves the sheet.
      double saved[16];
      std::memcpy(saved, om->model_matrix, sizeof saved);
      drawn = oriGLOffscreenDraw(context, om, rgb.data(), &marks);
      std::memcpy(om->model_matrix, saved, sizeof saved);
    });
  } catch (...) {
    oriGLOffscreenDelete(context);
    throw;
  }
  oriGLOffscreenDelete(context);
  if (drawn != 0) throw std::runtime_error("the sheet has no pattern to draw");
  std::vector<unsigned char> png;
  if (stbi_write_png_to_func(appendBytes, &png, o.width, o.height, 3, rgb.data(), o.width * 3) == 0) {
    throw std::runtime_error("the picture cannot be compressed");
  }
  return png;
#else
  (void)sheet;
  throw std::runtime_error("this plicata was built without off-screen OpenGL (Mesa's OSMesa, Debian package "
                           "libosmesa6-dev): install it and build again");
#endif
}

}  // namespace plicata
