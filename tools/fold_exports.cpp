#include "tools/fold_exports.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "files/fold_animation.h"
#include "files/gltf_export.h"
#include "files/html_export.h"
#include "files/stl_export.h"
#include "files/write_aside.h"
#include "geometry/paper_color.h"
#include "geometry/self_intersection.h"
#include "tools/fold_interrupt.h"
#include "tools/option_numbers.h"

namespace {

// Recorded steps a second in the glTF animation and the page: the pace of
// the GIFs and videos.
constexpr double kExportFps = 20.0;
// Sensible bounds for a file unit: between a nanometre and a kilometre.
constexpr double kMinScale = 1e-9, kMaxScale = 1e3;

void report(const std::string& what, const std::string& problem) {
  std::fprintf(stderr, "plicata-fold: %s: %s\n", what.c_str(), problem.c_str());
}

}  // namespace

const char* foldExportsUsage() {
  return "\n"
         "For other tools (each file written whole or not at all):\n"
         "  --gltf FILE    the folding as binary glTF 2.0 (.glb): the triangulated sheet\n"
         "                 with normals, its front and back in the paper's colours, the\n"
         "                 lines by kind, and one animation \"fold\" (a morph target per\n"
         "                 recorded step, 20 steps a second) of the pattern opened last\n"
         "  --gltf-no-normals  share each vertex among its facets and write no normals (a\n"
         "                 player shades each facet flat, as glTF asks of it): about a tenth\n"
         "                 of the size\n"
         "  --html FILE    the folding as one web page that plays it beside its crease\n"
         "                 pattern (drag to turn, wheel to zoom, play/pause, a step slider);\n"
         "                 nothing is fetched: three.js (Debian package libjs-three) is\n"
         "                 written into it\n"
         "  --stl FILE     the final shape as a closed solid of the paper's thickness, in\n"
         "                 millimetres, for 3D printing: --thickness T when given (it must\n"
         "                 then be above 0), else a thousandth of the sheet's longer side,\n"
         "                 the thickness --collisions allows for\n"
         "  --scale M      metres per file unit (default 0.001: a file unit is a millimetre);\n"
         "                 the glTF is in metres, the STL in millimetres\n"
         "A run of more than 512 steps (fewer on sheets of over 20 000 vertices) keeps\n"
         "every 2nd (4th, ...) step in the glTF and the page, and always the last.\n";
}

int foldExportsParseOption(int argc, char** argv, int* i, FoldExportOptions* opt, std::string* error) {
  const std::string name = argv[*i];
  if (name == "--gltf-no-normals") {
    opt->gltf_normals = false;
    return 1;
  }
  std::string* file = name == "--gltf" ? &opt->gltf : name == "--html" ? &opt->html : name == "--stl" ? &opt->stl : nullptr;
  if (file == nullptr && name != "--scale") return 0;
  if (*i + 1 >= argc) {
    *error = name + " needs a value";
    return -1;
  }
  const char* v = argv[++*i];
  if (file != nullptr) {
    *file = v;
    if (file->empty()) *error = name + " needs a file name";
  } else if (!parseNumber(v, kMinScale, kMaxScale, &opt->scale)) {
    *error = "--scale needs a positive number of metres per file unit: " + std::string(v);
  }
  return error->empty() ? 1 : -1;
}

FoldExports::FoldExports(const FoldExportOptions& opt) : opt_(opt) {}

FoldExports::~FoldExports() { oriFoldAnimationDelete(anim_); }

int FoldExports::begin(const ORI_manifold* om, long step, const char* name) {
  if (!checked_) {
    // Before any folding: an output that cannot be written stops the run
    // at once, not after it.
    checked_ = true;
    for (const std::string* path : {&opt_.gltf, &opt_.html, &opt_.stl}) {
      if (path->empty()) continue;
      ORI_write_aside probe;
      if (oriWriteAsideOpen(&probe, path->c_str()) != 0) {
        report(*path, std::string("cannot write: ") + std::strerror(errno));
        return 1;
      }
      oriWriteAsideDiscard(&probe);
    }
  }
  if (!opt_.recording()) return 0;
  oriFoldAnimationDelete(anim_);
  anim_ = oriFoldAnimationBegin(om, step);
  title_ = std::filesystem::path(name).filename().string();
  if (anim_ == nullptr) {
    report(name, "the pattern has no faces to record for --gltf or --html");
    return 1;
  }
  // The paper's sides in the colours the window and the pictures give it.
  ORI_paperColors paper;
  oriPaperColorsLoad(&paper, kOriPaperColorFile);
  oriFoldAnimationSetColors(anim_, paper.front, paper.back);
  return 0;
}

int FoldExports::step(const ORI_manifold* om, long step) {
  if (anim_ == nullptr || oriFoldAnimationFrame(anim_, om, step) == 0) return 0;
  report(!opt_.gltf.empty() ? opt_.gltf : opt_.html, "step " + std::to_string(step) + " gives a shape that cannot be recorded");
  return 1;
}

int FoldExports::end(const ORI_manifold* om) {
  // An interrupted run finishes the file under way and starts no other.
  std::string why;
  if (foldInterrupted() != 0) return 1;
  if (!opt_.gltf.empty()) {
    ORI_gltfOptions g;
    g.scale = opt_.scale;
    g.normals = opt_.gltf_normals;
    g.fps = kExportFps;
    if (oriGltfSaveFile(anim_, g, opt_.gltf.c_str(), &why) != 0) {
      report(opt_.gltf, why);
      return 1;
    }
  }
  if (foldInterrupted() != 0) return 1;
  if (!opt_.html.empty()) {
    ORI_htmlOptions h;
    h.title = title_;
    h.fps = kExportFps;
    if (oriHtmlSaveFile(anim_, h, opt_.html.c_str(), &why) != 0) {
      report(opt_.html, why);
      return 1;
    }
  }
  if (foldInterrupted() != 0) return 1;
  if (!opt_.stl.empty()) {
    const double thickness = opt_.thickness > 0.0 ? opt_.thickness : om != nullptr ? oriPaperThickness(om) : 0.0;
    if (oriStlSaveFile(om, thickness, opt_.scale, opt_.stl.c_str(), &why) != 0) {
      report(opt_.stl, why);
      return 1;
    }
  }
  return 0;
}
