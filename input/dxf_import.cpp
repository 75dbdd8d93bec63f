#include "input/dxf_import.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "input/dxf_reader.h"
#include "input/line_chop.h"
#include "input/line_list.h"
#include "input/opx_reader.h"
#include "input/opx_writer.h"
#include "input/read_error.h"

int oriManifoldConstructFromDxf(ORI_manifold* om, ORI_manifold* om_old, FILE* fp) {
  oriClearReadError();
  CreasePattern* cp = CreasePatternNew();
  int result = LineFromDxf(cp, fp);
  if (result == 0) result = LineChop(cp);
  if (result != 0) {
    CreasePatternDestruct(cp);
    return result;
  }

  FILE* tmp = std::tmpfile();
  if (tmp == nullptr) {
    const int err = errno;
    std::printf("failed to save temp file");
    oriSetReadError("cannot make a temporary file for the converted drawing: %s", std::strerror(err));
    CreasePatternDestruct(cp);
    return -1;
  }
  result = LineToOpx(cp, tmp);
  CreasePatternDestruct(cp);
  if (result != 0) {
    std::printf("out fail\n");
    oriSetReadError("cannot write the converted drawing to the temporary file");
    std::fclose(tmp);
    return result;
  }
  std::rewind(tmp);
  result = oriManifoldConstructFromOpx(om, om_old, tmp);
  std::fclose(tmp);
  if (result != 0) {
    std::printf("read fail\n");
    return result;
  }
  return 0;
}
