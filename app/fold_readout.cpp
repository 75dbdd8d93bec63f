#include "app/fold_readout.h"

#include <algorithm>
#include <cstdio>

#include "flat/flat_state.h"
#include "geometry/manifold.h"
#include "geometry/message.h"
#include "sheet/sheet.h"
#include "sim/fold_status.h"

AppReadout theReadout;

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

}  // namespace

void appReadoutReset() {
  const bool closure = theReadout.marks.closure;
  const bool strain = theReadout.marks.strain;
  theReadout = AppReadout{};
  theReadout.marks.closure = closure;
  theReadout.marks.strain = strain;
}

void appReadoutChanged() {
  theReadout.stale = true;
  theReadout.dof_stale = true;
}

bool appReadoutRefresh(ORI_sheet* sheet, bool closure, bool strain) {
  AppReadout& r = theReadout;
  r.marks.closure = closure;
  r.marks.strain = strain;
  const ORI_manifold* om = sheet != nullptr ? oriSheetManifold(sheet) : nullptr;
  if (!r.stale || om == nullptr) return false;
  r.stale = false;
  const ORISIM_matrix* osm = oriSheetSim(sheet);
  const ORI_sheetCounts counts = oriSheetCounts(sheet);
  r.steps = counts.pattern_steps;
  r.stepped = counts.pattern_steps > 0;
  const ORI_sheetStep& last = oriSheetLastStep(sheet);
  r.last = last.stats;
  r.last_ms = last.record.ms;
  r.compliant_last = last.compliant;
  r.compliant = last.compliant.newton_iterations > 0 || last.compliant.status != kOriCompliantConverged;
  r.compliant_kept = counts.compliant_kept;
  oriGLMarksCollisions(&r.marks, om);
  r.worst = oriGLMarksClosure(&r.marks, osm, om, &r.worst_vertex);
  r.farthest = oriGLMarksFarthestCrease(r.marks);
  // Cheap beside the collision check: kept at hand so that "Strain" shows
  // at once when ticked.
  r.strain = oriGLMarksStrain(&r.marks, om);
  r.bend = r.marks.largest_bend;
  r.progress = oriFoldProgress(om);
  r.residual = oriSheetResidual(sheet);
  r.exact_kept = counts.pattern_exact_kept;
  r.exact_halvings = counts.pattern_exact_halvings;
  r.contact = oriSheetOptions(sheet).contact;
  r.held = r.stepped ? std::max(0, oriSheetLastStep(sheet).record.active_contacts) : 0;
  r.locked = r.stepped && oriSheetLastStep(sheet).record.locked;
  r.marks.flat_fail.clear();
  ORI_layerOptions checks_only;
  checks_only.order_layers = false;
  const ORI_flatState* flat = nullptr;
  if (!oriFailed(oriSheetFlatState(sheet, checks_only, &flat)) && flat->check.n_fail > 0) {
    r.marks.flat_fail.assign(static_cast<size_t>(om->n_vert), 0);
    for (const ORI_flatVertex& v : flat->check.vertices) {
      if (!v.ok() && v.vertex >= 0 && v.vertex < om->n_vert) r.marks.flat_fail[v.vertex] = 1;
    }
  }
  return true;
}

bool appReadoutMobility(ORI_sheet* sheet, bool shown, bool folding, bool asked) {
  AppReadout& r = theReadout;
  if (sheet == nullptr || oriSheetManifold(sheet) == nullptr || !r.dof_stale || !shown) return false;
  const int before = r.dof_state;
  if (folding) {
    r.dof_state = kAppDofFolding;
  } else if (!asked && oriSheetIndex(sheet).creases.size() > static_cast<size_t>(kAppMobilityAutoCreases)) {
    r.dof_state = kAppDofAsk;
  } else {
    ORISIM_mobility m;
    const ORI_result result = oriSheetMobility(sheet, &m);
    r.dof_stale = false;
    if (oriFailed(result)) {
      oriMessage("%s\n", oriResultText(result).c_str());
      r.dof_state = kAppDofFailed;
    } else {
      r.dof_state = kAppDofCounted;
      r.dof = m.dof;
      r.dof_flat = m.flat != 0;
    }
    return true;
  }
  return r.dof_state != before;
}

void appReadoutLines(const AppReadout& r, std::string lines[kAppReadoutLines]) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "steps: %ld", r.steps);
  lines[0] = buf;
  std::snprintf(buf, sizeof buf, "fold progress: %.1f %%", r.progress);
  lines[1] = buf;
  std::snprintf(buf, sizeof buf, "residual: %.2e", r.residual);
  lines[2] = buf;
  if (r.worst_vertex >= 0) {
    std::snprintf(buf, sizeof buf, "worst vertex: %.1e at #%d", r.worst, r.worst_vertex);
  } else {
    std::snprintf(buf, sizeof buf, "worst vertex: no inner vertex");
  }
  lines[3] = buf;
  std::snprintf(buf, sizeof buf, "farthest fold: %.1f deg to go", r.farthest * kDegreesPerRadian);
  lines[4] = buf;
  if (!r.stepped) {
    std::snprintf(buf, sizeof buf, "last step: none yet");
  } else if (r.compliant && r.compliant_last.status != kOriCompliantConverged) {
    std::snprintf(buf, sizeof buf, "last step: compliant, kept (%s), %.1f ms",
                  oriSimCompliantStatusName(r.compliant_last.status), r.last_ms);
  } else if (r.compliant) {
    std::snprintf(buf, sizeof buf, "last step: compliant, %d Newton, %.1f ms", r.compliant_last.newton_iterations,
                  r.last_ms);
  } else if (r.last.newton_iterations > 0) {
    std::snprintf(buf, sizeof buf, "last step: CG %d + %d Newton, %.1f ms", r.last.cg_iterations,
                  r.last.newton_iterations, r.last_ms);
  } else {
    std::snprintf(buf, sizeof buf, "last step: CG %d, %.1f ms", r.last.cg_iterations, r.last_ms);
  }
  lines[5] = buf;
  std::snprintf(buf, sizeof buf, "intersecting pairs: %d", r.marks.pairs);
  lines[6] = buf;
  std::snprintf(buf, sizeof buf, "exact kept back: %ld, halved: %ld", r.exact_kept, r.exact_halvings);
  lines[7] = buf;
  std::snprintf(buf, sizeof buf, "largest strain: %.1e, bend %.3f rad", r.strain, r.bend);
  lines[8] = buf;
  std::snprintf(buf, sizeof buf, "compliant kept back: %ld", r.compliant_kept);
  lines[9] = buf;
  if (!r.contact) {
    std::snprintf(buf, sizeof buf, "contact: off");
  } else {
    std::snprintf(buf, sizeof buf, "contact: %d pair%s held%s", r.held, r.held == 1 ? "" : "s",
                  r.locked ? ", locked" : "");
  }
  lines[10] = buf;
  switch (r.dof_state) {
    case kAppDofCounted:
      std::snprintf(buf, sizeof buf, "degrees of freedom: %d%s", r.dof, r.dof_flat ? " (flat)" : "");
      break;
    case kAppDofFolding:
      std::snprintf(buf, sizeof buf, "degrees of freedom: when the fold stops");
      break;
    case kAppDofAsk:
      std::snprintf(buf, sizeof buf, "degrees of freedom: press Count");
      break;
    case kAppDofFailed:
      std::snprintf(buf, sizeof buf, "degrees of freedom: not found");
      break;
    default:
      std::snprintf(buf, sizeof buf, "degrees of freedom: -");
      break;
  }
  lines[11] = buf;
}
