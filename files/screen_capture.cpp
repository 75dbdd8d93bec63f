#include "files/screen_capture.h"

#include "files/bmp.h"

namespace {

// Resolution written into the header, pixels per metre.
constexpr int32_t kCapturePelsPerMeter = 10000;

}  // namespace

int oriCaptureSaveBMP(const char* filename, int32_t w, int32_t h, const unsigned char* bits) {
  return oriBmpSave24(filename, w, h, kCapturePelsPerMeter, bits);
}
