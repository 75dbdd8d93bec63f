#include "flat/flat_state.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "files/fold_export.h"
#include "files/write_aside.h"
#include "geometry/manifold.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// The reason a pattern that fails locally has no flat state.
std::string localFailure(const ORI_flatCheck& check) {
  const ORI_flatVertex& v = check.vertices[check.first_fail];
  char buf[256];
  int n = std::snprintf(buf, sizeof buf, "%d of %d inner vertices fail the local conditions; the first, vertex %d,",
                        check.n_fail, check.n_inner, v.vertex);
  if (!v.kawasaki_ok) {
    if (std::isnan(v.kawasaki_deg)) {
      n += std::snprintf(buf + n, sizeof buf - n, " has an odd number of folds (%d)", v.mountains + v.valleys);
    } else {
      n += std::snprintf(buf + n, sizeof buf - n, " misses Kawasaki by %.4g degrees", v.kawasaki_deg);
    }
  }
  if (!v.maekawa_ok) {
    std::snprintf(buf + n, sizeof buf - n, "%s has %d mountain%s and %d valley%s", v.kawasaki_ok ? "" : " and",
                  v.mountains, v.mountains == 1 ? "" : "s", v.valleys, v.valleys == 1 ? "" : "s");
  }
  return buf;
}

// The recording of frame 0 and the folded form.
ORI_fold_recording* recordingOf(const ORI_flatState& st, const ORI_manifold* om) {
  if (st.form.n_vert == 0) return nullptr;
  ORI_fold_recording* rec = oriFoldRecordingBegin(om);
  if (rec == nullptr) return nullptr;
  std::vector<double> xy(st.form.vertex_xy);
  for (double& c : xy) c *= om->paper_size;
  const std::vector<int>& orders = st.layers.face_orders;
  if (oriFoldRecordingFoldedForm(rec, xy.data(), st.form.n_vert, orders.empty() ? nullptr : orders.data(),
                                 static_cast<int>(orders.size() / 3)) != 0) {
    oriFoldRecordingDelete(rec);
    return nullptr;
  }
  return rec;
}

}  // namespace

ORI_result oriFlatAnalyse(const ORI_manifold* om, const ORI_layerOptions& opt, ORI_flatState* st) {
  oriFlatStateClear(st);
  if (om == nullptr || om->faces == nullptr || om->faces->data == nullptr) {
    return oriFail(kOriFailEmpty, "", "the pattern has no face to fold flat");
  }
  Clock::time_point t = Clock::now();
  oriFlatCheckVertices(om, &st->check);
  st->check_seconds = since(t);
  t = Clock::now();
  if (oriFlatFoldedForm(om, &st->form) != 0) {
    oriFlatStateClear(st);
    return oriFail(kOriFailArgument, "", "the mesh is not numbered (prepare it first)");
  }
  st->form_seconds = since(t);
  t = Clock::now();
  if (st->check.n_fail > 0 || !opt.order_layers) {
    st->layers = ORI_layerOrder{};
    st->layers.status = kOriLayerNotFlat;
    st->layers.reason = st->check.n_fail > 0 ? localFailure(st->check) : "the layers were not ordered";
    st->layers.n_facets = st->form.n_facet;
    st->layers.facet_level.resize(st->form.n_facet);
    for (int k = 0; k < st->form.n_facet; ++k) st->layers.facet_level[k] = k;
    st->layers.level_exact = false;
  } else {
    // One time limit for building and solving together.
    st->problem = oriLayerProblemNew(om, st->form, opt.time_limit);
    ORI_layerOptions rest = opt;
    rest.time_limit = std::max(0.0, opt.time_limit - since(t));
    oriLayerSolve(st->problem, rest, &st->layers);
  }
  st->layer_seconds = since(t);
  return oriOk();
}

int oriFlatChooseState(ORI_flatState* st, long long state, double time_limit) {
  if (st->problem == nullptr) return st->layers.status;
  return oriLayerChoose(st->problem, state, time_limit, &st->layers);
}

void oriFlatStateClear(ORI_flatState* st) {
  oriLayerProblemDelete(st->problem);
  *st = ORI_flatState{};
}

int oriFlatWriteFold(const ORI_flatState& st, const ORI_manifold* om, FILE* fp) {
  if (om == nullptr || om->n_vert != st.form.n_vert) return -1;
  ORI_fold_recording* rec = recordingOf(st, om);
  if (rec == nullptr) return -1;
  const int result = oriFoldRecordingSave(rec, fp);
  oriFoldRecordingDelete(rec);
  return result;
}

ORI_result oriFlatSaveFold(const ORI_flatState& st, const ORI_manifold* om, const char* path) {
  const std::string subject = path != nullptr ? path : "";
  if (om == nullptr || path == nullptr || om->n_vert != st.form.n_vert) {
    return oriFail(kOriFailArgument, subject, "the flat state is not the one of this pattern");
  }
  ORI_fold_recording* rec = recordingOf(st, om);
  if (rec == nullptr) return oriFail(kOriFailRecord, subject, "the folded form cannot be recorded");
  errno = 0;
  const int result = oriFoldRecordingSaveFile(rec, path);
  const int err = errno;
  oriFoldRecordingDelete(rec);
  if (result != 0) {
    return oriFail(kOriFailWrite, subject,
                   std::string("cannot write the FOLD file") + (err != 0 ? std::string(": ") + std::strerror(err) : ""));
  }
  return oriOk();
}
