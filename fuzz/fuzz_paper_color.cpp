// The paper colour file, read whenever a pattern is opened.
#include <cstdint>
#include <cstdio>

#include "files/paper_color.h"
#include "geometry/manifold.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (fp == nullptr) return 0;
  FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");
  ORI_manifold* om = oriManifoldNew();
  oriManifoldReadColor(om, fp);
  oriManifoldDelete(om);
  std::fclose(fp);
  std::fclose(stdout);
  stdout = saved;
  return 0;
}
