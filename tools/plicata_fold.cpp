// plicata-fold: the headless folding command. Loads a crease pattern,
// prepares it as the window program does, and writes the shape as OBJ.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/obj_export.h"
#include "geometry/manifold.h"
#include "input/pattern_file.h"
#include "input/read_error.h"
#include "sim/prepare.h"

namespace {

const char kUsage[] =
    "usage: plicata-fold [--obj FILE] PATTERN\n"
    "\n"
    "Loads the crease pattern PATTERN (an XML pattern: the name contains .opx or .xml;\n"
    "a DXF drawing: the name contains .dxf),\n"
    "builds its half-edge mesh, chooses the fixed face and places every facet from the\n"
    "fold angles.\n"
    "\n"
    "  --obj FILE   write the shape as a Wavefront OBJ file\n"
    "  --help       show this text\n";

struct Options {
  std::string pattern;
  std::string obj;
};

int usageError(const char* fmt, const char* arg) {
  std::fprintf(stderr, "plicata-fold: ");
  std::fprintf(stderr, fmt, arg);
  std::fprintf(stderr, " (see plicata-fold --help)\n");
  return 2;
}

// Returns -1 to go on, or the exit status.
int parseOptions(int argc, char** argv, Options* opt) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(a, "--obj") == 0) {
      if (i + 1 >= argc) return usageError("%s needs a file name", a);
      opt->obj = argv[++i];
    } else if (a[0] == '-' && a[1] != '\0') {
      return usageError("unknown option %s", a);
    } else if (opt->pattern.empty()) {
      opt->pattern = a;
    } else {
      return usageError("more than one pattern given: %s", a);
    }
  }
  if (opt->pattern.empty()) return usageError("%s", "no pattern given");
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  const int status = parseOptions(argc, argv, &opt);
  if (status >= 0) return status;

  const char* name = opt.pattern.c_str();
  ORI_manifold* om = oriManifoldNew();
  const int result = oriManifoldConstructFromFile(om, nullptr, name);
  std::fflush(stdout);
  if (result != kOriOpenOk) {
    std::fprintf(stderr, "plicata-fold: %s: %s\n", name, oriReadError());
    oriManifoldDelete(om);
    return 1;
  }
  oriManifoldPrepare(om, 0);

  int exit_status = 0;
  if (!opt.obj.empty()) {
    FILE* fp = std::fopen(opt.obj.c_str(), "w");
    if (fp == nullptr) {
      std::fprintf(stderr, "plicata-fold: %s: cannot write: %s\n", opt.obj.c_str(), std::strerror(errno));
      exit_status = 1;
    } else {
      const int written = oriManifoldSaveObj(om, fp);
      if (std::fclose(fp) != 0 || written != 0) {
        std::fprintf(stderr, "plicata-fold: %s: writing failed\n", opt.obj.c_str());
        exit_status = 1;
      }
    }
  }
  oriManifoldDelete(om);
  return exit_status;
}
