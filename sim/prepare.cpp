#include "sim/prepare.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

#include "geometry/manifold.h"
#include "geometry/message.h"
#include "geometry/tessellate.h"
#include "sim/fold_step.h"
#include "sim/kinematics.h"
#include "sim/parallel_chunks.h"
#include "sim/sim_matrix.h"

namespace {

// Corner positions spanning less than this (model units squared, twice the
// area) give no plane to fit a face to.
constexpr double kFitMinArea = 1e-18;

// More corners than any face can have: bounds the walk on a broken loop.
constexpr int kFitMaxCorners = 1 << 20;

vector3d sub(const vector3d& a, const vector3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

}  // namespace

int oriFaceFitMatrix(ORI_face* f) {
  // The first corner and the direction to the next fix the frame in the
  // plane; the corner triple with the largest area fixes the plane itself.
  const ORI_edge* e0 = f->first;
  const ORI_edge* e1 = e0->next;
  const vector3d q0 = e0->vert->pos;
  const vector3d q1 = e1->vert->pos;
  vector3d normal = {0.0, 0.0, 0.0};
  double best = 0.0;
  const ORI_edge* e = e1->next;
  for (int k = 0; e != e0 && k < kFitMaxCorners; ++k, e = e->next) {
    const vector3d qk = e->vert->pos;
    vector3d side1 = sub(q1, q0);
    vector3d side2 = sub(qk, q0);
    const vector3d n = side1 * side2;
    const double area = abs(n);
    if (area > best) {
      best = area;
      normal = n;
    }
  }
  vector3d u_model = sub(q1, q0);
  const double u_len = abs(u_model);
  if (!(best > kFitMinArea) || !(u_len > 0.0) || !std::isfinite(best) || !std::isfinite(u_len)) return -1;
  u_model /= u_len;
  normal /= best;
  vector3d v_model = normal * u_model;

  // The same frame in the CP plane: the face runs counter-clockwise, so its
  // normal is +z.
  const double px = e0->x1, py = e0->y1;
  double dx = e1->x1 - px, dy = e1->y1 - py;
  const double d_len = std::hypot(dx, dy);
  if (!(d_len > 0.0)) return -1;
  dx /= d_len;
  dy /= d_len;
  // R maps (dx, dy, 0) to u_model, (-dy, dx, 0) to v_model and z to normal.
  const double R[3][3] = {
      {u_model.x * dx - v_model.x * dy, u_model.x * dy + v_model.x * dx, normal.x},
      {u_model.y * dx - v_model.y * dy, u_model.y * dy + v_model.y * dx, normal.y},
      {u_model.z * dx - v_model.z * dy, u_model.z * dy + v_model.z * dx, normal.z},
  };
  double* M = f->matrix;
  for (int r = 0; r < 3; ++r) {
    M[4 * r + 0] = R[r][0];
    M[4 * r + 1] = R[r][1];
    M[4 * r + 2] = R[r][2];
  }
  M[3] = q0.x - (R[0][0] * px + R[0][1] * py);
  M[7] = q0.y - (R[1][0] * px + R[1][1] * py);
  M[11] = q0.z - (R[2][0] * px + R[2][1] * py);
  M[12] = M[13] = M[14] = 0.0;
  M[15] = 1.0;
  return 0;
}

namespace {

// oriManifoldPrepare up to the placement.
void prepareFixedFace(ORI_manifold* om, int carried) {
  ORI_face* placed = om->center_face;
  oriManifoldCenterFace(om);
  oriManifoldIndex(om);
  if (!carried) {
    oriMatrixIdentity(om->center_face->matrix);
  } else {
    // Tessellation may have made a new face the fixed one; it has no
    // transform of its own yet. Fit one to its carried corners so that the
    // placement starts from the shape the vertices already have.
    // A face made by tessellation has an all-zero matrix until placed.
    const bool unset = om->center_face->matrix[15] == 0.0;
    if ((om->center_face != placed || unset) && oriFaceFitMatrix(om->center_face) != 0 && placed != nullptr) {
      for (int i = 0; i < 16; ++i) om->center_face->matrix[i] = placed->matrix[i];
    }
    oriManifoldCalcCreaseFromVertPos(om);
  }
}

// Sheets of at least this many faces are placed on a thread of their own
// while the simulation record is made (where the work may be shared among
// threads at all, oriSimThreads): each takes a few tens of milliseconds on
// a large sheet.
constexpr int kPlaceAsideFaces = 20000;

}  // namespace

int oriManifoldPrepare(ORI_manifold* om, int carried) {
  if (om->faces == nullptr || om->faces->data == nullptr) return -1;
  prepareFixedFace(om, carried);
  oriManifoldUpdate(om, om->center_face);
  return 0;
}

int oriManifoldPrepareForFolding(ORI_manifold* om, int triangulate, int carried, ORISIM_matrix** sim) {
  *sim = nullptr;
  if (om->faces == nullptr || om->faces->data == nullptr) return -1;
  if (!oriManifoldTriangulated(om)) {
    if (triangulate) {
      oriMessage("\ttriangulating\n");
      oriManifoldTessFace(om);
    } else {
      oriMessage("\tno tess\n");
    }
  }
  if (om->faces == nullptr || om->faces->data == nullptr) return -1;
  prepareFixedFace(om, carried);
  // The placement writes the faces' transforms, the vertices' positions and
  // its own marks on the half-edges; the simulation record numbers the fold
  // lines and inner vertices and builds its rows from the angles and the
  // flat turns. Neither reads what the other writes, so on a large sheet
  // they are made side by side; the record stays on the calling thread,
  // whose settings (the path, the iteration) it takes.
  std::thread placing;
  std::exception_ptr placing_failed;
  if (om->n_face >= kPlaceAsideFaces && oriSimThreads() > 1) {
    try {
      placing = std::thread([om, &placing_failed] {
        try {
          oriManifoldUpdate(om, om->center_face);
        } catch (...) {
          placing_failed = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: placed below, in turn.
    }
  }
  const bool aside = placing.joinable();
  if (!aside) oriManifoldUpdate(om, om->center_face);
  try {
    *sim = oriFoldPrepareSim(om);
  } catch (...) {
    if (aside) placing.join();
    throw;
  }
  if (aside) placing.join();
  if (placing_failed) {
    oriSimDelete(*sim);
    *sim = nullptr;
    std::rethrow_exception(placing_failed);
  }
  return 0;
}
