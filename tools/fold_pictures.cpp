#include "tools/fold_pictures.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "files/gif_export.h"
#include "files/png_export.h"
#include "files/video_export.h"
#include "files/write_aside.h"
#include "render/view_rules.h"
#include "render/view_state.h"
#include "tools/option_numbers.h"
#ifdef PLICATA_OFFSCREEN
#include "render/marks.h"
#include "render/offscreen.h"
#endif

namespace {

// Largest side of a picture, pixels.
constexpr int kMaxSide = 8192;
// The Object camera's tilt stays within what a right-button drag reaches,
// the zoom within what the arrow keys reach.
constexpr double kMaxElevation = 100.0;
constexpr double kMinZoom = 0.25, kMaxZoom = 64.0;

bool parseSize(const char* s, int* w, int* h) {
  const char* x = std::strchr(s, 'x');
  if (x == nullptr) return false;
  long a = 0, b = 0;
  const std::string first(s, static_cast<size_t>(x - s));
  if (!parseWhole(first.c_str(), 1, kMaxSide, &a) || !parseWhole(x + 1, 1, kMaxSide, &b)) return false;
  *w = static_cast<int>(a);
  *h = static_cast<int>(b);
  return true;
}

}  // namespace

const char* foldPicturesUsage() {
  return "\n"
         "Pictures, drawn without a window as the window program draws them (the paper\n"
         "texture papertexture.bmp is taken from the current directory, as there):\n"
         "  --png DIR      DIR/p00000.png before the first step, then DIR/pNNNNN.png after\n"
         "                 step NNNNN; DIR is created if missing\n"
         "  --gif FILE     the same pictures as one animated GIF, looping\n"
         "  --mp4 FILE     the same pictures as an H.264 video (needs the ffmpeg program)\n"
         "  --fps N        pictures a second in the GIF and the video, 1 to 50 (default 20)\n"
         "  --every K      a picture after every K-th step only (default 1); the last step\n"
         "                 always has one\n"
         "  --view V       object (the folded model, default), top (seen from above) or cp\n"
         "                 (the crease pattern, shaded by the fold)\n"
         "  --azimuth A    turn the object view by A degrees, as a right-button drag does\n"
         "  --elevation E  tilt the object view by E degrees, -100 to 100\n"
         "  --zoom Z       enlarge the object and top views Z times, 0.25 to 64 (default 1),\n"
         "                 as the up and down arrows do\n"
         "  --size WxH     picture size in pixels, each side 1 to 8192 (default 800x600)\n"
         "  --closure      colour the sheet by how far each vertex fails to close (the\n"
         "                 window's \"Closure\"), with its legend; faces that pass through\n"
         "                 each other are hatched in red in every picture, as in the window\n"
         "  --no-edges     leave the lines out, as the window's \"Draw Edge\" off or 'e' does:\n"
         "                 on a large sheet they would cover the paper\n"
#ifndef PLICATA_OFFSCREEN
         "This plicata-fold was built without off-screen OpenGL (Mesa's OSMesa, Debian\n"
         "package libosmesa6-dev): the picture options tell so and stop.\n"
#endif
      ;
}

int foldPicturesParseOption(int argc, char** argv, int* i, FoldPictureOptions* opt, std::string* error) {
  static const char* const kOptions[] = {"--png",     "--gif",         "--mp4",  "--fps",  "--every",
                                         "--view",    "--azimuth",     "--elevation", "--zoom", "--size"};
  const char* a = argv[*i];
  if (std::strcmp(a, "--closure") == 0 || std::strcmp(a, "--no-edges") == 0) {
    if (std::strcmp(a, "--closure") == 0) {
      opt->closure = true;
    } else {
      opt->no_edges = true;
    }
    if (opt->shaping.empty()) opt->shaping = a;
    return 1;
  }
  bool known = false;
  for (const char* o : kOptions) known = known || std::strcmp(a, o) == 0;
  if (!known) return 0;
  const std::string name = a;
  if (*i + 1 >= argc) {
    *error = name + " needs a value";
    return -1;
  }
  const char* v = argv[++*i];
  const bool output = name == "--png" || name == "--gif" || name == "--mp4";
#ifndef PLICATA_OFFSCREEN
  if (output) {
    *error = name + ": this plicata-fold was built without off-screen OpenGL (Mesa's OSMesa, Debian package " +
             "libosmesa6-dev); install it and build again";
    return -1;
  }
#endif
  long n = 0;
  if (output && *v == '\0') {
    *error = name + " needs a name";
    return -1;
  } else if (name == "--png") {
    opt->png_dir = v;
  } else if (name == "--gif") {
    opt->gif = v;
  } else if (name == "--mp4") {
    opt->mp4 = v;
  } else if (name == "--fps") {
    if (!parseWhole(v, 1, kOriGifMaxFps, &n)) *error = "--fps needs a whole number from 1 to 50: " + std::string(v);
    opt->fps = static_cast<int>(n);
  } else if (name == "--every") {
    if (!parseWhole(v, 1, 1000000000L, &n)) *error = "--every needs a whole number of steps, 1 or more: " + std::string(v);
    opt->every = n;
  } else if (name == "--view") {
    const std::string view = v;
    opt->view = view == "object" ? kOriPictureObject : view == "top" ? kOriPictureTop : kOriPictureCP;
    if (view != "object" && view != "top" && view != "cp") *error = "--view needs object, top or cp: " + view;
  } else if (name == "--azimuth") {
    if (!parseNumber(v, -1e6, 1e6, &opt->azimuth)) *error = "--azimuth needs a number of degrees: " + std::string(v);
  } else if (name == "--elevation") {
    if (!parseNumber(v, -kMaxElevation, kMaxElevation, &opt->elevation)) {
      *error = "--elevation needs a number of degrees from -100 to 100: " + std::string(v);
    }
  } else if (name == "--zoom") {
    if (!parseNumber(v, kMinZoom, kMaxZoom, &opt->zoom)) *error = "--zoom needs a number from 0.25 to 64: " + std::string(v);
  } else if (name == "--size") {
    if (!parseSize(v, &opt->width, &opt->height)) {
      *error = "--size needs WIDTHxHEIGHT, each 1 to 8192 pixels: " + std::string(v);
    }
  }
  if (!error->empty()) return -1;
  if (!output && opt->shaping.empty()) opt->shaping = name;
  return 1;
}

bool foldPicturesCheck(const FoldPictureOptions& opt, std::string* error) {
  if (opt.shaping.empty() || opt.requested()) return true;
  *error = opt.shaping + " shapes pictures: add --png DIR, --gif FILE or --mp4 FILE";
  return false;
}

struct FoldPictures {
  FoldPictureOptions opt;
  long total_steps = 0;
  long drawn = -1;  // the step of the last picture
  std::vector<unsigned char> rgb;
  ORI_gif_writer* gif = nullptr;
  ORI_video_writer* video = nullptr;
#ifdef PLICATA_OFFSCREEN
  ORI_offscreen* context = nullptr;
  OriGLMarks marks;
#endif
};

namespace {

void report(const std::string& what, const char* problem) {
  std::fprintf(stderr, "plicata-fold: %s: %s\n", what.c_str(), problem);
}

}  // namespace

FoldPictures* foldPicturesBegin(const FoldPictureOptions& opt, long total_steps) {
  FoldPictures* fp = new FoldPictures;
  fp->opt = opt;
  fp->total_steps = total_steps;
  const long frames = 1 + total_steps / opt.every + (total_steps % opt.every != 0 ? 1 : 0);
  if (!opt.gif.empty() && frames > kOriGifMaxFrames) {
    const std::string why = std::to_string(frames) + " pictures, more than one GIF takes (" +
                            std::to_string(kOriGifMaxFrames) + "): take fewer --steps or a larger --every";
    report(opt.gif, why.c_str());
    delete fp;
    return nullptr;
  }
#ifdef PLICATA_OFFSCREEN
  fp->context = oriGLOffscreenNew(opt.width, opt.height);
  if (fp->context == nullptr) {
    report("--size " + std::to_string(opt.width) + "x" + std::to_string(opt.height),
           "cannot make an off-screen OpenGL context of that size");
    foldPicturesAbort(fp);
    return nullptr;
  }
  oriGLPictureView(&theGL, static_cast<OriPictureView>(opt.view), opt.azimuth, opt.elevation, opt.width, opt.height);
  theGL.zoom = opt.zoom;
  theGL.draw_edge = opt.no_edges ? 0 : 1;
#endif
  fp->rgb.resize(static_cast<size_t>(opt.width) * static_cast<size_t>(opt.height) * 3);
  if (!opt.png_dir.empty()) {
    const ORI_result made = oriMakeDirectory(opt.png_dir.c_str());
    if (oriFailed(made)) {
      report(made.subject, made.why.c_str());
      foldPicturesAbort(fp);
      return nullptr;
    }
  }
  if (!opt.gif.empty()) {
    fp->gif = oriGifBegin(opt.gif.c_str(), opt.width, opt.height, opt.fps);
    if (fp->gif == nullptr) {
      report(opt.gif, (std::string("cannot write: ") + std::strerror(errno)).c_str());
      foldPicturesAbort(fp);
      return nullptr;
    }
  }
  if (!opt.mp4.empty()) {
    fp->video = oriVideoBegin(opt.mp4.c_str(), opt.width, opt.height, opt.fps);
    if (fp->video == nullptr) {
      const int err = errno;
      report(opt.mp4, err == ENOENT ? "--mp4 needs the ffmpeg program, which is not installed (Debian package ffmpeg)"
                                    : (std::string("cannot write: ") + std::strerror(err)).c_str());
      foldPicturesAbort(fp);
      return nullptr;
    }
  }
  return fp;
}

int foldPicturesStep(FoldPictures* fp, const ORISIM_matrix* osm, ORI_manifold* om, long step) {
  if (step % fp->opt.every != 0 && step != fp->total_steps) return 0;
  fp->drawn = step;
#ifdef PLICATA_OFFSCREEN
  if (om == nullptr) {
    report("pictures", "no model to draw");
    return -1;
  }
  fp->marks.closure = fp->opt.closure;
  oriGLMarksCollisions(&fp->marks, om);
  if (fp->opt.closure) oriGLMarksClosure(&fp->marks, osm, om, nullptr);
  oriGLOffscreenDraw(fp->context, om, fp->rgb.data(), &fp->marks);
#else
  (void)osm;
  (void)om;
#endif
  if (!fp->opt.png_dir.empty()) {
    char name[32];
    std::snprintf(name, sizeof name, "p%05ld.png", step);
    const std::string path = (std::filesystem::path(fp->opt.png_dir) / name).string();
    if (oriSavePNG(path.c_str(), fp->opt.width, fp->opt.height, fp->rgb.data()) != 0) {
      report(path, (std::string("cannot write: ") + std::strerror(errno)).c_str());
      return -1;
    }
  }
  if (fp->gif != nullptr && oriGifAddFrame(fp->gif, fp->rgb.data()) != 0) {
    report(fp->opt.gif, (std::string("cannot write: ") + std::strerror(errno)).c_str());
    return -1;
  }
  if (fp->video != nullptr && oriVideoAddFrame(fp->video, fp->rgb.data()) != 0) {
    report(fp->opt.mp4, errno == EPIPE ? "ffmpeg stopped taking pictures (its message is above)"
                                       : (std::string("cannot send pictures to ffmpeg: ") + std::strerror(errno)).c_str());
    return -1;
  }
  return 0;
}

int foldPicturesEnd(FoldPictures* fp, const ORISIM_matrix* osm, ORI_manifold* om, long last_step) {
  if (fp->drawn != last_step) {
    fp->total_steps = last_step;
    if (foldPicturesStep(fp, osm, om, last_step) != 0) {
      foldPicturesAbort(fp);
      return 1;
    }
  }
  int status = 0;
  if (fp->gif != nullptr) {
    if (oriGifEnd(fp->gif) != 0) {
      report(fp->opt.gif, (std::string("cannot write: ") + std::strerror(errno)).c_str());
      status = 1;
    }
    fp->gif = nullptr;
  }
  if (fp->video != nullptr) {
    if (oriVideoEnd(fp->video) != 0) {
      report(fp->opt.mp4, errno == ECHILD ? "ffmpeg could not make the video (its message is above)"
                                          : (std::string("cannot write: ") + std::strerror(errno)).c_str());
      status = 1;
    }
    fp->video = nullptr;
  }
  foldPicturesAbort(fp);
  return status;
}

void foldPicturesAbort(FoldPictures* fp) {
  if (fp == nullptr) return;
  oriGifAbort(fp->gif);
  oriVideoAbort(fp->video);
#ifdef PLICATA_OFFSCREEN
  oriGLOffscreenDelete(fp->context);
#endif
  delete fp;
}
