// plicata-fold's exports for other tools: the folding as binary glTF
// (--gltf) and as a self-contained web page (--html), and the final shape as
// a solid for 3D printing (--stl), with the options that shape them.
#pragma once

#include <memory>
#include <string>

struct ORI_manifold;
struct ORI_fold_animation;

struct FoldExportOptions {
  std::string gltf;           // --gltf FILE.glb
  std::string html;           // --html FILE.html
  std::string stl;            // --stl FILE.stl
  bool gltf_normals = true;   // --gltf-no-normals clears it
  double thickness = 0.0;     // the solid's thickness, file units, set from the one --thickness
                              // (the sheet's); 0: the default (oriPaperThickness)
  double scale = 0.001;       // --scale M, metres per file unit
  bool recording() const { return !gltf.empty() || !html.empty(); }
};

// The exports' part of plicata-fold --help.
const char* foldExportsUsage();

// Takes argv[*i] when it is an export option, with its value (advancing
// *i). Returns 1 when taken, 0 when it is none, -1 with *error set for a
// missing or bad value.
int foldExportsParseOption(int argc, char** argv, int* i, FoldExportOptions* opt, std::string* error);

// The exports of one run. Every error is reported as one line on standard
// error naming the file and the problem; the methods then return 1.
class FoldExports {
 public:
  explicit FoldExports(const FoldExportOptions& opt);
  ~FoldExports();

  // After a pattern is prepared, before its steps: checks once that every
  // output can be written, and (re)starts the recording of the folding on
  // om, the pattern opened last (a glTF or a page holds one pattern), whose
  // present shape shows step. name is the pattern's file, the page's title.
  int begin(const ORI_manifold* om, long step, const char* name);
  // After each step: records om's shape as step.
  int step(const ORI_manifold* om, long step);
  // At the end of a run that went well: writes every file asked for, the
  // solid from om's present shape.
  int end(const ORI_manifold* om);

 private:
  FoldExportOptions opt_;
  bool checked_ = false;
  std::string title_;
  ORI_fold_animation* anim_ = nullptr;
};
