#include "files/png_export.h"

#include <stb_image_write.h>

#include <cerrno>
#include <cstdio>

#include "files/write_aside.h"

namespace {

void writeToFile(void* context, void* data, int size) {
  std::fwrite(data, 1, static_cast<size_t>(size), static_cast<FILE*>(context));
}

}  // namespace

int oriSavePNG(const char* path, int w, int h, const unsigned char* rgb) {
  if (path == nullptr || rgb == nullptr || w < 1 || h < 1 || w > kOriPngMaxSide || h > kOriPngMaxSide) {
    errno = EINVAL;
    return -1;
  }
  ORI_write_aside file;
  if (oriWriteAsideOpen(&file, path) != 0) return -1;
  if (stbi_write_png_to_func(writeToFile, file.fp, w, h, 3, rgb, w * 3) == 0) {
    oriWriteAsideDiscard(&file);
    errno = ENOMEM;
    return -1;
  }
  return oriWriteAsideCommit(&file);
}
