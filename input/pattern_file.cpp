#include "input/pattern_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "input/opx_reader.h"
#include "input/read_error.h"

int oriPatternFormat(const char* name) {
  if (std::strstr(name, ".opx") != nullptr || std::strstr(name, ".xml") != nullptr) return 1;
  return 0;
}

int oriManifoldConstructFromFile(ORI_manifold* om, ORI_manifold* om_old, const char* name) {
  oriClearReadError();
  const int format = oriPatternFormat(name);
  if (format == 0) {
    oriSetReadError("not a supported crease-pattern file (the name must contain .opx or .xml)");
    return kOriOpenUnsupported;
  }
  FILE* fp = std::fopen(name, "r");
  if (fp == nullptr) {
    oriSetReadError("cannot open: %s", std::strerror(errno));
    return kOriOpenUnreadable;
  }
  int result = oriManifoldConstructFromOpx(om, om_old, fp);
  std::fclose(fp);
  return result == 0 ? kOriOpenOk : kOriOpenFailed;
}
