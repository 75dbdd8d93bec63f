#include "sim/prepare.h"

#include "geometry/manifold.h"
#include "sim/kinematics.h"

int oriManifoldPrepare(ORI_manifold* om, int carried) {
  if (om->faces == nullptr || om->faces->data == nullptr) return -1;
  oriManifoldCenterFace(om);
  oriManifoldIndex(om);
  if (!carried) {
    oriMatrixIdentity(om->center_face->matrix);
  } else {
    oriManifoldCalcCreaseFromVertPos(om);
  }
  oriManifoldUpdate(om, om->center_face);
  return 0;
}
