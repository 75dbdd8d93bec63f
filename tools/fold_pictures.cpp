#include "tools/fold_pictures.h"

#include <cerrno>
#include <cstdint>
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
#include "flat/flat_state.h"
#include "geometry/manifold.h"
#include "render/view_rules.h"
#include "render/view_state.h"
#include "render/marks.h"
#include "tools/fold_interrupt.h"
#include "tools/option_numbers.h"
#ifdef PLICATA_OFFSCREEN
#include "render/offscreen.h"
#else
#include <unistd.h>
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

#ifndef PLICATA_OFFSCREEN
// The drawing build of this program: the same program linked with Mesa's
// off-screen OpenGL. Loading that library (and the compiler behind its
// software renderer) costs some 55 MB and tens of milliseconds, so the
// ordinary build leaves it out and hands a run that asks for pictures to the
// drawing build whole. It lies beside this program (the build tree), else
// where it is installed; "" when neither has it.
std::string picturesProgram() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = '\0';
    std::string beside = self;
    beside = beside.substr(0, beside.find_last_of('/') + 1) + "plicata-fold-pictures";
    if (access(beside.c_str(), X_OK) == 0) return beside;
  }
#ifdef PLICATA_PICTURES_PROGRAM
  if (access(PLICATA_PICTURES_PROGRAM, X_OK) == 0) return PLICATA_PICTURES_PROGRAM;
#endif
  return "";
}
#endif

}  // namespace

const char* foldPicturesUsage() {
  static const std::string usage = std::string(
         "\n"
         "Pictures, drawn without a window as the window program draws them (the paper\n"
         "texture papertexture.bmp is taken from the current directory, as there):\n"
         "  --png DIR      DIR/p00000.png before the first step, then DIR/pNNNNN.png after\n"
         "                 step NNNNN; DIR is created if missing\n"
         "  --gif FILE     the same pictures as one animated GIF, looping\n"
         "  --mp4 FILE     the same pictures as an H.264 video (needs the ffmpeg program)\n"
         "  --picture FILE  one PNG picture of the final shape, framed to it alone\n"
         "  --fps N        pictures a second in the GIF and the video, 1 to 50 (default 20)\n"
         "  --every K      a picture after every K-th step only (default 1); the last step\n"
         "                 always has one\n"
         "  --view V       object (the folded model, default), top (seen from above), cp\n"
         "                 (the crease pattern, shaded by the fold) or folded (the flat-folded\n"
         "                 form from above in layer order, the same at every step)\n"
         "  --azimuth A    turn the object view by A degrees, as a right-button drag does\n"
         "  --elevation E  tilt the object view by E degrees, -100 to 100\n"
         "  --zoom Z       enlarge the views Z times, 0.25 to 64 (default 1), as the up and\n"
         "                 down arrows do; at 1 the folded model's pictures hold the box of\n"
         "                 the whole run (the camera stays put while it folds) and the\n"
         "                 crease pattern its own, each with a margin of a twentieth\n"
         "  --size WxH     picture size in pixels, each side 1 to 8192 (default 800x600)\n"
         "  --closure      colour the sheet by how far each vertex fails to close (the\n"
         "                 window's \"Closure\"), with its legend; faces that pass through\n"
         "                 each other are hatched in red in every picture, as in the window\n"
         "  --strain       colour the sheet by how far the paper stretched: each vertex by\n"
         "                 its lines' largest relative change of length, on the closure\n"
         "                 map's scale, with the largest bend of a facet in the legend (for\n"
         "                 --solver compliant; a rigid fold shows where faces were placed\n"
         "                 apart)\n"
         "  --no-edges     leave the lines out, as the window's \"Draw Edge\" off or 'e' does:\n"
         "                 on a large sheet they would cover the paper\n"
         "  --colour       mountains red and valleys blue (the crease-pattern editors'\n"
         "                 colours, told apart by colour-blind eyes too), with a legend, as\n"
         "                 the window's \"Colour\" does; by default fold lines are black\n"
         "  --window-camera  the window's own start-up camera instead of the framing: each\n"
         "                 picture is then the window's at that size, pixel for pixel\n"
         ) +
#ifndef PLICATA_OFFSCREEN
      (picturesProgram().empty()
           ? "This plicata-fold was built without off-screen OpenGL (Mesa's OSMesa, Debian\n"
             "package libosmesa6-dev): the picture options tell so and stop.\n"
           : "") +
#endif
      "";
  return usage.c_str();
}

int foldPicturesParseOption(int argc, char** argv, int* i, FoldPictureOptions* opt, std::string* error) {
  static const char* const kOptions[] = {"--png",  "--gif",     "--mp4",       "--fps",  "--every",  "--view",
                                         "--azimuth", "--elevation", "--zoom", "--size", "--picture"};
  const char* a = argv[*i];
  if (std::strcmp(a, "--closure") == 0 || std::strcmp(a, "--no-edges") == 0 || std::strcmp(a, "--strain") == 0 ||
      std::strcmp(a, "--colour") == 0 || std::strcmp(a, "--window-camera") == 0) {
    if (std::strcmp(a, "--closure") == 0) {
      opt->closure = true;
    } else if (std::strcmp(a, "--strain") == 0) {
      opt->strain = true;
    } else if (std::strcmp(a, "--colour") == 0) {
      opt->colour = true;
    } else if (std::strcmp(a, "--no-edges") == 0) {
      opt->no_edges = true;
    } else {
      opt->window_camera = true;
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
  const bool output = name == "--png" || name == "--gif" || name == "--mp4" || name == "--picture";
#ifndef PLICATA_OFFSCREEN
  if (output) {
    const std::string program = picturesProgram();
    if (program.empty()) {
      *error = name + ": this plicata-fold was built without off-screen OpenGL (Mesa's OSMesa, Debian package " +
               "libosmesa6-dev); install it and build again";
      return -1;
    }
    // Nothing is printed or written before the options are read: the
    // drawing build runs the whole command as this one would.
    std::fflush(stdout);
    execv(program.c_str(), argv);
    *error = name + ": cannot run " + program + ", which draws the pictures: " + std::strerror(errno);
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
  } else if (name == "--picture") {
    opt->picture = v;
  } else if (name == "--fps") {
    if (!parseWhole(v, 1, kOriGifMaxFps, &n)) *error = "--fps needs a whole number from 1 to 50: " + std::string(v);
    opt->fps = static_cast<int>(n);
  } else if (name == "--every") {
    if (!parseWhole(v, 1, 1000000000L, &n)) *error = "--every needs a whole number of steps, 1 or more: " + std::string(v);
    opt->every = n;
  } else if (name == "--view") {
    const std::string view = v;
    opt->view = view == "object" ? kOriPictureObject
                : view == "top"  ? kOriPictureTop
                : view == "cp"   ? kOriPictureCP
                                 : kOriPictureFolded;
    if (view != "object" && view != "top" && view != "cp" && view != "folded") {
      *error = "--view needs object, top, cp or folded: " + view;
    }
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
  if (opt.closure && opt.strain) {
    *error = "--closure and --strain both colour the sheet: take one";
    return false;
  }
  if (opt.shaping.empty() || opt.requested()) return true;
  *error = opt.shaping + " shapes pictures: add --png DIR, --gif FILE, --mp4 FILE or --picture FILE";
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
  // The folded views are framed to the whole run: their pictures are
  // recorded as the run goes (spool) and drawn at its end, when its box
  // (extent) is known, all of one pattern (recorded, the mesh they show).
  bool framed_run = false;
  FILE* spool = nullptr;
  long spooled = 0;
  OriGLExtent extent;
  const ORI_manifold* recorded = nullptr;
  // --view folded: the flat state of the mesh drawn last, made once per
  // pattern (it does not change while the sheet folds; the drawing frames
  // it itself).
  ORI_flatState flat;
  const ORI_manifold* flat_of = nullptr;
  int flat_counts[3] = {0, 0, 0};
};

namespace {

// A failure's one line. A run being interrupted says so instead, once: what
// fails meanwhile (ffmpeg, which a Ctrl-C on the terminal stops too) is its
// consequence.
void report(const std::string& what, const char* problem) {
  if (foldInterrupted() != 0) return;
  std::fprintf(stderr, "plicata-fold: %s: %s\n", what.c_str(), problem);
}

// ffmpeg stopped or failed: waits for it (fp->video is then gone, its file
// removed) and says why, in ffmpeg's words.
void reportVideo(FoldPictures* fp, const char* what) {
  std::string why;
  oriVideoEnd(fp->video, &why);
  fp->video = nullptr;
  report(fp->opt.mp4, (std::string(what) + (why.empty() ? std::string() : ": " + why)).c_str());
}

// What a recorded picture needs of its mesh, beside what never changes: the
// vertex positions, each face's normal (the light term), each half-edge's
// fold angle (the corner shading), and the marks, all in list order.
struct Snapshot {
  long step = 0;
  std::vector<double> pos, normals, angles;
  OriGLMarks marks;
};

template <typename T>
bool put(FILE* fp, const std::vector<T>& v) {
  const uint64_t n = v.size();
  return std::fwrite(&n, sizeof n, 1, fp) == 1 && (n == 0 || std::fwrite(v.data(), sizeof(T), n, fp) == n);
}
template <typename T>
bool get(FILE* fp, std::vector<T>* v) {
  uint64_t n = 0;
  if (std::fread(&n, sizeof n, 1, fp) != 1 || n > (1ull << 34)) return false;
  v->resize(n);
  return n == 0 || std::fread(v->data(), sizeof(T), n, fp) == n;
}

void capture(const ORI_manifold* om, Snapshot* s) {
  s->pos.clear();
  s->normals.clear();
  s->angles.clear();
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const vector3d& p = static_cast<const ORI_vert*>(l->data)->pos;
    s->pos.insert(s->pos.end(), {p.x, p.y, p.z});
  }
  for (const List* l = om->faces; l != nullptr && l->data != nullptr; l = l->next) {
    const double* m = static_cast<const ORI_face*>(l->data)->matrix;
    s->normals.insert(s->normals.end(), {m[2], m[6], m[10]});
  }
  for (const List* l = om->edges; l != nullptr && l->data != nullptr; l = l->next) {
    s->angles.push_back(static_cast<const ORI_edge*>(l->data)->angle);
  }
}

// Puts a snapshot's state back into its mesh (the same lists it was
// captured from).
void restore(const Snapshot& s, ORI_manifold* om) {
  size_t k = 0;
  for (List* l = om->verts; l != nullptr && l->data != nullptr && k + 2 < s.pos.size(); l = l->next, k += 3) {
    input(static_cast<ORI_vert*>(l->data)->pos, s.pos[k], s.pos[k + 1], s.pos[k + 2]);
  }
  k = 0;
  for (List* l = om->faces; l != nullptr && l->data != nullptr && k + 2 < s.normals.size(); l = l->next, k += 3) {
    double* m = static_cast<ORI_face*>(l->data)->matrix;
    m[2] = s.normals[k], m[6] = s.normals[k + 1], m[10] = s.normals[k + 2];
  }
  k = 0;
  for (List* l = om->edges; l != nullptr && l->data != nullptr && k < s.angles.size(); l = l->next, ++k) {
    static_cast<ORI_edge*>(l->data)->angle = s.angles[k];
  }
}

[[maybe_unused]] bool spoolSnapshot(FILE* fp, const Snapshot& s) {
  const int64_t head[2] = {s.step, s.marks.pairs};
  // Which map colours the sheet: bit 0 the closure map, bit 1 the strain map.
  const unsigned char maps = (s.marks.closure ? 1 : 0) | (s.marks.strain ? 2 : 0);
  return std::fwrite(head, sizeof head, 1, fp) == 1 && std::fwrite(&maps, 1, 1, fp) == 1 &&
         std::fwrite(&s.marks.largest_bend, sizeof(double), 1, fp) == 1 && put(fp, s.pos) && put(fp, s.normals) &&
         put(fp, s.angles) && put(fp, s.marks.face_hit) && put(fp, s.marks.vertex_closure) &&
         put(fp, s.marks.crease_to_go) && put(fp, s.marks.vertex_strain);
}

bool unspoolSnapshot(FILE* fp, Snapshot* s) {
  int64_t head[2];
  unsigned char maps = 0;
  if (std::fread(head, sizeof head, 1, fp) != 1 || std::fread(&maps, 1, 1, fp) != 1 ||
      std::fread(&s->marks.largest_bend, sizeof(double), 1, fp) != 1) {
    return false;
  }
  s->step = head[0];
  s->marks.pairs = static_cast<int>(head[1]);
  s->marks.closure = (maps & 1) != 0;
  s->marks.strain = (maps & 2) != 0;
  return get(fp, &s->pos) && get(fp, &s->normals) && get(fp, &s->angles) && get(fp, &s->marks.face_hit) &&
         get(fp, &s->marks.vertex_closure) && get(fp, &s->marks.crease_to_go) && get(fp, &s->marks.vertex_strain);
}

// Fills fp->marks for om's present shape, as the window marks it.
[[maybe_unused]] void markShape(FoldPictures* fp, const ORISIM_matrix* osm, const ORI_manifold* om) {
#ifdef PLICATA_OFFSCREEN
  fp->marks.closure = fp->opt.closure;
  fp->marks.strain = fp->opt.strain;
  oriGLMarksCollisions(&fp->marks, om);
  if (fp->opt.closure) oriGLMarksClosure(&fp->marks, osm, om, nullptr);
  if (fp->opt.strain) oriGLMarksStrain(&fp->marks, om);
#else
  (void)fp;
  (void)osm;
  (void)om;
#endif
}

#ifdef PLICATA_OFFSCREEN
// The flat state of om in fp->flat, analysed when om is not the mesh it was
// made for. Says once on standard error when there is no stacking to draw.
// False after one line when om cannot be folded flat at all.
bool flatReady(FoldPictures* fp, const ORI_manifold* om) {
  if (fp->flat_of == om && fp->flat_counts[0] == om->n_vert && fp->flat_counts[1] == om->n_edge &&
      fp->flat_counts[2] == om->n_face) {
    return true;
  }
  ORI_layerOptions lo;
  lo.state = fp->opt.layer_state;
  const ORI_result analysed = oriFlatAnalyse(om, lo, &fp->flat);
  if (oriFailed(analysed)) {
    report("--view folded", analysed.why.c_str());
    return false;
  }
  if (fp->flat.layers.status != kOriLayerFound) {
    report("--view folded",
           ("no stacking to draw (" + fp->flat.layers.reason + "): the pictures show the folded form's layers translucent")
               .c_str());
  }
  fp->flat_of = om;
  fp->flat_counts[0] = om->n_vert;
  fp->flat_counts[1] = om->n_edge;
  fp->flat_counts[2] = om->n_face;
  return true;
}
#endif

// Draws om into fp->rgb. The drawing computes the display frame into
// om->model_matrix; the shape's own matrix is put back, so that pictures
// never move what the OBJ and FOLD files record.
void drawShape(FoldPictures* fp, ORI_manifold* om, const OriGLMarks* marks) {
#ifdef PLICATA_OFFSCREEN
  if (fp->opt.view == kOriPictureFolded) {
    if (flatReady(fp, om)) oriGLOffscreenDrawFolded(fp->context, om, fp->flat, fp->rgb.data());
    return;
  }
  double saved[16];
  std::memcpy(saved, om->model_matrix, sizeof saved);
  oriGLOffscreenDraw(fp->context, om, fp->rgb.data(), marks);
  std::memcpy(om->model_matrix, saved, sizeof saved);
#else
  (void)fp;
  (void)om;
  (void)marks;
#endif
}

// Draws om as the picture of step and writes it to every output.
int drawAndWrite(FoldPictures* fp, ORI_manifold* om, long step, const OriGLMarks* marks) {
  drawShape(fp, om, marks);
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
    if (errno == EPIPE) {
      reportVideo(fp, "ffmpeg stopped taking pictures");
    } else {
      report(fp->opt.mp4, (std::string("cannot send pictures to ffmpeg: ") + std::strerror(errno)).c_str());
    }
    return -1;
  }
  return 0;
}

// The recorded pictures of om, drawn to their box; om is left in its
// present shape and the record emptied.
[[maybe_unused]] int drawRecorded(FoldPictures* fp, ORI_manifold* om) {
  if (fp->spool == nullptr || fp->spooled == 0) return 0;
  if (om != fp->recorded) {
    report("pictures", "the recorded pictures are of another pattern");
    return -1;
  }
  oriGLFitPicture(&theGL, fp->extent, static_cast<OriPictureView>(fp->opt.view), fp->opt.width, fp->opt.height);
  Snapshot present, s;
  capture(om, &present);
  std::rewind(fp->spool);
  int status = 0;
  for (long k = 0; k < fp->spooled && status == 0; ++k) {
    if (foldInterrupted() != 0) {
      status = -1;
      break;
    }
    if (!unspoolSnapshot(fp->spool, &s)) {
      report("pictures", "the recorded pictures cannot be read back");
      status = -1;
      break;
    }
    restore(s, om);
    status = drawAndWrite(fp, om, s.step, &s.marks);
  }
  restore(present, om);
  std::fclose(fp->spool);
  fp->spool = nullptr;
  fp->spooled = 0;
  fp->extent = OriGLExtent();
  fp->recorded = nullptr;
  return status;
}

}  // namespace

FoldPictures* foldPicturesBegin(const FoldPictureOptions& opt, long total_steps) {
  FoldPictures* fp = new FoldPictures;
  fp->opt = opt;
  fp->total_steps = total_steps;
  // The crease pattern and the folded form are drawn as they come, each
  // framed to itself.
  fp->framed_run =
      opt.view != kOriPictureCP && opt.view != kOriPictureFolded && !opt.window_camera && opt.requested_sequence();
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
  theGL.draw_colour = opt.colour ? 1 : 0;
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
  if (!opt.picture.empty()) {
    // Written at the end: a name that cannot be written stops the run now.
    ORI_write_aside probe;
    if (oriWriteAsideOpen(&probe, opt.picture.c_str()) != 0) {
      report(opt.picture, (std::string("cannot write: ") + std::strerror(errno)).c_str());
      foldPicturesAbort(fp);
      return nullptr;
    }
    oriWriteAsideDiscard(&probe);
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
  if (!fp->opt.requested_sequence()) return 0;
  fp->drawn = step;
#ifdef PLICATA_OFFSCREEN
  if (om == nullptr) {
    report("pictures", "no model to draw");
    return -1;
  }
  if (fp->opt.view == kOriPictureFolded) return flatReady(fp, om) ? drawAndWrite(fp, om, step, nullptr) : -1;
  markShape(fp, osm, om);
  if (!fp->framed_run) {
    // The crease pattern is framed to itself (it changes only with --next).
    OriGLExtent pattern;
    if (!fp->opt.window_camera) oriGLExtentAddPattern(&pattern, om);
    oriGLFitPicture(&theGL, pattern, kOriPictureCP, fp->opt.width, fp->opt.height);
    return drawAndWrite(fp, om, step, &fp->marks);
  }
  if (fp->spooled > 0 && fp->recorded != om) {
    report("pictures", "another pattern was opened before the pictures of the last were drawn");
    return -1;
  }
  fp->recorded = om;
  if (fp->spool == nullptr && (fp->spool = std::tmpfile()) == nullptr) {
    report("pictures", (std::string("cannot record them in a temporary file: ") + std::strerror(errno)).c_str());
    return -1;
  }
  Snapshot s;
  s.step = step;
  capture(om, &s);
  s.marks = fp->marks;
  if (!spoolSnapshot(fp->spool, s)) {
    report("pictures", (std::string("cannot record them in a temporary file: ") + std::strerror(errno)).c_str());
    return -1;
  }
  ++fp->spooled;
  oriGLExtentAddModel(&fp->extent, om, static_cast<OriPictureView>(fp->opt.view), fp->opt.azimuth, fp->opt.elevation,
                      fp->opt.width, fp->opt.height);
  return 0;
#else
  (void)osm;
  return drawAndWrite(fp, om, step, nullptr);
#endif
}

int foldPicturesPhaseEnd(FoldPictures* fp, ORI_manifold* om) {
#ifdef PLICATA_OFFSCREEN
  if (fp != nullptr && om != nullptr && drawRecorded(fp, om) != 0) return 1;
#else
  (void)fp;
  (void)om;
#endif
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
#ifdef PLICATA_OFFSCREEN
  if (drawRecorded(fp, om) != 0) status = 1;
  if (status == 0 && !fp->opt.picture.empty()) {
    // The final shape alone, framed to itself.
    OriGLExtent shape;  // left empty with --window-camera: no framing
    if (!fp->opt.window_camera && fp->opt.view == kOriPictureCP) {
      oriGLExtentAddPattern(&shape, om);
    } else if (!fp->opt.window_camera && fp->opt.view != kOriPictureFolded) {
      oriGLExtentAddModel(&shape, om, static_cast<OriPictureView>(fp->opt.view), fp->opt.azimuth, fp->opt.elevation,
                          fp->opt.width, fp->opt.height);
    }
    oriGLFitPicture(&theGL, shape, static_cast<OriPictureView>(fp->opt.view), fp->opt.width, fp->opt.height);
    markShape(fp, osm, om);
    drawShape(fp, om, &fp->marks);
    if (oriSavePNG(fp->opt.picture.c_str(), fp->opt.width, fp->opt.height, fp->rgb.data()) != 0) {
      report(fp->opt.picture, (std::string("cannot write: ") + std::strerror(errno)).c_str());
      status = 1;
    }
  }
#endif
  if (foldInterrupted() != 0) status = 1;
  if (fp->gif != nullptr && status == 0) {
    if (oriGifEnd(fp->gif) != 0) {
      report(fp->opt.gif, (std::string("cannot write: ") + std::strerror(errno)).c_str());
      status = 1;
    }
    fp->gif = nullptr;
  }
  if (fp->video != nullptr && status == 0 && foldInterrupted() == 0) {
    std::string why;
    if (oriVideoEnd(fp->video, &why) != 0) {
      report(fp->opt.mp4, errno == ECHILD ? ("ffmpeg could not make the video" + (why.empty() ? "" : ": " + why)).c_str()
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
  if (fp->spool != nullptr) std::fclose(fp->spool);
#ifdef PLICATA_OFFSCREEN
  oriGLOffscreenDelete(fp->context);
#endif
  oriFlatStateClear(&fp->flat);
  delete fp;
}
