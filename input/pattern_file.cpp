#include "input/pattern_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "input/cp_reader.h"
#include "input/dxf_import.h"
#include "input/fold_reader.h"
#include "input/opx_reader.h"
#include "input/read_error.h"
#include "input/svg_reader.h"

int oriPatternFormat(const char* name) {
  if (std::strstr(name, ".opx") != nullptr || std::strstr(name, ".xml") != nullptr) return kOriPatternXml;
  if (std::strstr(name, ".dxf") != nullptr) return kOriPatternDxf;
  if (std::strstr(name, ".fold") != nullptr) return kOriPatternFold;
  if (std::strstr(name, ".svg") != nullptr) return kOriPatternSvg;
  if (std::strstr(name, ".cp") != nullptr) return kOriPatternCp;
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
    case kOriPatternFold:
      result = oriManifoldConstructFromFold(om, om_old, fp);
      break;
    case kOriPatternSvg:
      result = oriManifoldConstructFromSvg(om, om_old, fp);
      break;
    case kOriPatternCp:
      result = oriManifoldConstructFromCp(om, om_old, fp);
      break;
    default:
      oriSetReadError(
          "not a supported crease-pattern file (the name must contain .opx, .xml, .dxf, .fold, .svg or .cp)");
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
