// A FOLD file a user opens: frame 0 read, chopped, written as XML and built;
// a built sheet is also recorded and written as FOLD.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "files/fold_export.h"
#include "geometry/manifold.h"
#include "input/fold_reader.h"
#include "sim/prepare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (fp == nullptr) return 0;
  FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");
  ORI_manifold* om = oriManifoldNew();
  if (oriManifoldConstructFromFold(om, nullptr, fp) == 0) {
    char why[256];
    if (oriManifoldValidate(om, why, sizeof why) != 0) {
      std::fprintf(stderr, "invalid mesh built: %s\n", why);
      std::abort();
    }
    oriManifoldPrepare(om, 0);
    ORI_fold_recording* rec = oriFoldRecordingBegin(om);
    if (rec == nullptr || oriFoldRecordingFrame(rec, om) != 0 || oriFoldRecordingSave(rec, stdout) != 0) {
      std::fprintf(stderr, "a built sheet cannot be recorded\n");
      std::abort();
    }
    oriFoldRecordingDelete(rec);
  }
  oriManifoldDelete(om);
  std::fclose(fp);
  std::fclose(stdout);
  stdout = saved;
  return 0;
}
