#include "input/pattern_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "input/dxf_import.h"
#include "input/opx_reader.h"
#include "input/read_error.h"

int oriPatternFormat(const char* name) {
  if (std::strstr(name, ".opx") != nullptr || std::strstr(name, ".xml") != nullptr) return kOriPatternXml;
  if (std::strstr(name, ".dxf") != nullptr) return kOriPatternDxf;
  return kOriPatternUnknown;
}

int oriManifoldConstructFromStream(ORI_manifold* om, ORI_manifold* om_old, FILE* fp, const char* name) {
  oriClearReadError();
  int result = 0;
  switch (oriPatternFormat(name)) {
    case kOriPatternXml:
      result = oriManifoldConstructFromOpx(om, om_old, fp);
      break;
    case kOriPatternDxf:
      result = oriManifoldConstructFromDxf(om, om_old, fp);
      break;
    default:
      oriSetReadError("not a supported crease-pattern file (the name must contain .opx, .xml or .dxf)");
      return kOriOpenUnsupported;
  }
  return result == 0 ? kOriOpenOk : kOriOpenFailed;
}

int oriManifoldConstructFromFile(ORI_manifold* om, ORI_manifold* om_old, const char* name) {
  oriClearReadError();
  if (oriPatternFormat(name) == kOriPatternUnknown) {
    return oriManifoldConstructFromStream(om, om_old, nullptr, name);
  }
  FILE* fp = std::fopen(name, "r");
  if (fp == nullptr) {
    oriSetReadError("cannot open: %s", std::strerror(errno));
    return kOriOpenUnreadable;
  }
  const int result = oriManifoldConstructFromStream(om, om_old, fp, name);
  std::fclose(fp);
  return result;
}
