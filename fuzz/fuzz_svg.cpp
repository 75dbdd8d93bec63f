// An SVG drawing a user opens: its straight segments read, chopped, written as XML and built.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "geometry/manifold.h"
#include "input/svg_reader.h"
#include "sim/prepare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (fp == nullptr) return 0;
  FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");
  ORI_manifold* om = oriManifoldNew();
  if (oriManifoldConstructFromSvg(om, nullptr, fp) == 0) {
    char why[256];
    if (oriManifoldValidate(om, why, sizeof why) != 0) {
      std::fprintf(stderr, "invalid mesh built: %s\n", why);
      std::abort();
    }
    oriManifoldPrepare(om, 0);
  }
  oriManifoldDelete(om);
  std::fclose(fp);
  std::fclose(stdout);
  stdout = saved;
  return 0;
}
