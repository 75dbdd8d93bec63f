#include "input/dxf_import.h"

#include "input/dxf_reader.h"
#include "input/line_import.h"
#include "input/line_list.h"
#include "input/read_error.h"

int oriManifoldConstructFromDxf(ORI_manifold* om, ORI_manifold* om_old, FILE* fp) {
  oriClearReadError();
  CreasePattern* cp = CreasePatternNew();
  const int result = LineFromDxf(cp, fp);
  if (result != 0) {
    CreasePatternDestruct(cp);
    return result;
  }
  return oriManifoldConstructFromCreasePattern(om, om_old, cp);
}
