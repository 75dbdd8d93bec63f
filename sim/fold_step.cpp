#include "sim/fold_step.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/obj_export.h"
#include "geometry/manifold.h"
#include "geometry/message.h"
#include "sim/contact.h"
#include "sim/display_frame.h"
#include "sim/kinematics.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"

bool oriFoldRecords(const ORI_frameRecorder* rec) {
  return rec != nullptr && (rec->save_model || rec->save_screen);
}

int oriFoldRecordFrame(ORI_manifold* om, const ORI_frameRecorder* rec, int frame_no) {
  int result = 0;
  if (rec->save_model && rec->display_frame) oriManifoldUpdateModelMatrix(om);
  if (rec->save_model && oriFoldSaveObjFrame(om, rec->save_dir, frame_no) != 0) {
    if (rec->failure != nullptr && rec->failure->frame_no < 0) *rec->failure = ORI_frameFailure{frame_no, errno};
    result = -1;
  }
  if (rec->save_screen && rec->capture != nullptr) rec->capture(rec->save_dir, frame_no, rec->capture_user);
  return result;
}

ORISIM_matrix* oriFoldPrepareSim(ORI_manifold* om) {
  oriMessage("\tinitializing SimMatrix\n");
  ORISIM_matrix* osm = oriSimNew(om);
  oriSimInitMatrix(osm, om);
  oriMessage("Matrix\n size1: %d\n size2: %d\n", osm->m, osm->n);
  return osm;
}

int oriFoldSaveObjFrame(ORI_manifold* om, const char* dir, int frame_no) {
  char path[kOriFramePathSize];
  const int len = std::snprintf(path, sizeof path, "%s/m%05d.obj", dir, frame_no);
  if (len < 0 || static_cast<size_t>(len) >= sizeof path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return oriManifoldSaveObjFile(om, path);
}

namespace {

// The held-key solver of oriFoldStep: option "CG" (and any text but "RK" and
// "CG_RK", after printing "mode\n") runs the constrained step.
struct OptionSolver {
  const char* option;
};

double optionSolve(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats, void* user) {
  const char* option = static_cast<OptionSolver*>(user)->option;
  if (option == nullptr || std::strcmp(option, "RK") == 0 || std::strcmp(option, "CG_RK") == 0) return 0.0;
  if (std::strcmp(option, "CG") != 0) oriMessage("mode\n");
  return oriSimUpdateStateCG(osm, om, step, stats);
}

}  // namespace

int oriFoldStep(ORISIM_matrix* osm, ORI_manifold* om, double step, const char* option, int* frame_no,
                const ORI_frameRecorder* rec, double* max_delta, ORISIM_stepStats* stats) {
  OptionSolver solver{option};
  return oriFoldStepWith(osm, om, step, optionSolve, &solver, frame_no, rec, max_delta, stats);
}

namespace {

// The contact step as a solver of an option that runs one; it places the
// faces itself.
struct ContactSolver {
  const char* option;
  ORISIM_contact* contact;
  ORISIM_contactStats* cstats;
};

double contactSolve(ORISIM_matrix* osm, ORI_manifold* om, double step, ORISIM_stepStats* stats, void* user) {
  const ContactSolver* c = static_cast<ContactSolver*>(user);
  if (std::strcmp(c->option, "CG") != 0) oriMessage("mode\n");
  return oriSimContactStep(c->contact, osm, om, step, stats, c->cstats);
}

}  // namespace

int oriFoldStep(ORISIM_matrix* osm, ORI_manifold* om, double step, const char* option, int* frame_no,
                const ORI_frameRecorder* rec, double* max_delta, ORISIM_stepStats* stats, ORISIM_contact* contact,
                ORISIM_contactStats* cstats) {
  if (cstats != nullptr) *cstats = ORISIM_contactStats{};
  const bool solves = option != nullptr && std::strcmp(option, "RK") != 0 && std::strcmp(option, "CG_RK") != 0;
  if (contact == nullptr || !solves) return oriFoldStep(osm, om, step, option, frame_no, rec, max_delta, stats);
  ContactSolver solver{option, contact, cstats};
  return oriFoldStepWith(osm, om, step, contactSolve, &solver, frame_no, rec, max_delta, stats, 1);
}

int oriFoldStepWith(ORISIM_matrix* osm, ORI_manifold* om, double step, OriFoldSolver solver, void* user,
                    int* frame_no, const ORI_frameRecorder* rec, double* max_delta, ORISIM_stepStats* stats,
                    int solver_places) {
  int result = 0;
  if (oriFoldRecords(rec) && *frame_no == 0 && oriFoldRecordFrame(om, rec, 0) != 0) result = -1;

  if (stats != nullptr) *stats = ORISIM_stepStats{};
  const double delta = solver(osm, om, step, stats, user);
  if (max_delta != nullptr) *max_delta = delta < 0.0 ? 0.0 : delta;
  if (delta < 0.0) return -2;
  if (om->center_face != nullptr && !solver_places) oriManifoldUpdatePlanned(om, &osm->placement);

  if (oriFoldRecords(rec)) {
    *frame_no += 1;
    if (oriFoldRecordFrame(om, rec, *frame_no) != 0) result = -1;
  }
  return result;
}
