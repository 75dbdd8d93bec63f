// The BMP loader, which reads the paper texture.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "files/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (fp == nullptr) return 0;
  BITMAPINFO* info = nullptr;
  unsigned char* bits = LoadDIBitmapFile(fp, &info);
  if (bits != nullptr) {
    // Touch every byte the loader claims to hand out.
    const uint64_t row = oriBmpRowBytes(info->bmiHeader.biWidth, info->bmiHeader.biBitCount);
    const int64_t h = info->bmiHeader.biHeight < 0 ? -static_cast<int64_t>(info->bmiHeader.biHeight)
                                                   : info->bmiHeader.biHeight;
    volatile unsigned sum = 0;
    for (uint64_t i = 0; i < row * static_cast<uint64_t>(h); ++i) sum = sum + bits[i];
    (void)sum;
  }
  std::free(bits);
  std::free(info);
  std::fclose(fp);
  return 0;
}
