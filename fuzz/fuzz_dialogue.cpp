// The terminal dialogue's parsing of file names and answers: the fuzzer's
// bytes are what the user types. One real pattern waits under a fixed name so
// that the dialogue also reaches the triangulation question.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "app/file_open.h"
#include "geometry/manifold.h"
#include "input/construct.h"
#include "sim/sim_matrix.h"

namespace {

const char kPattern[] = "/tmp/plicata-fuzz-dialogue/quad.opx";

void writePattern() {
  std::system("mkdir -p /tmp/plicata-fuzz-dialogue");
  FILE* fp = std::fopen(kPattern, "w");
  if (fp == nullptr) return;
  // A square with one crease from a corner to the middle of the far side:
  // a triangle and a quadrilateral, so the question is asked.
  const double l[][5] = {{-200, -200, 200, -200, 1}, {200, -200, 200, 0, 1}, {200, 0, 200, 200, 1},
                         {200, 200, -200, 200, 1},   {-200, 200, -200, -200, 1}, {-200, -200, 200, 0, 2}};
  std::fprintf(fp, "<java>\n <object class=\"oripa.DataSet\">\n  <void property=\"lines\">\n");
  std::fprintf(fp, "   <array class=\"oripa.OriLineProxy\" length=\"6\">\n");
  for (const auto& r : l) {
    std::fprintf(fp, "<object class=\"oripa.OriLineProxy\">\n<void property=\"type\">\n<int>%d</int>\n</void>\n",
                 static_cast<int>(r[4]));
    const char* names[4] = {"x0", "y0", "x1", "y1"};
    for (int k = 0; k < 4; ++k) std::fprintf(fp, "<void property=\"%s\">\n<double>%f</double>\n</void>\n", names[k], r[k]);
    std::fprintf(fp, "</object>\n");
  }
  std::fprintf(fp, "   </array>\n  </void>\n </object>\n</java>\n");
  std::fclose(fp);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  writePattern();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (in == nullptr) return 0;
  FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");
  FileOpenFrom(in, nullptr);
  if (the.manifold != nullptr) {
    // A second dialogue onto the loaded model, from the rest of the input.
    FileNextOpenFrom(in, nullptr);
  }
  oriSimDelete(the.sim);
  oriManifoldDelete(the.manifold);
  the.sim = nullptr;
  the.manifold = nullptr;
  std::fclose(in);
  std::fclose(stdout);
  stdout = saved;
  return 0;
}
