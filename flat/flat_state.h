// The flat-folded state of one pattern, as one record a front end holds:
// the local checks, the folded form and the order of its layers, analysed
// once per pattern (nothing here changes while the sheet folds), and the
// FOLD file that carries them.
//
// A caller does: ORI_flatState st; oriFlatAnalyse(om, options, &st); reads
// st.check, st.form, st.layers; oriFlatChooseState(&st, K, limit) for
// another stacking; oriFlatSaveFold(st, om, path); oriFlatStateClear(&st)
// (also before analysing another pattern).
#pragma once

#include <cstdio>

#include "flat/flat_check.h"
#include "flat/folded_form.h"
#include "flat/layer_order.h"
#include "geometry/result.h"

struct ORI_manifold;

struct ORI_flatState {
  ORI_flatCheck check;
  ORI_foldedForm form;
  ORI_layerOrder layers;                 // status kOriLayerNotFlat (with the reason) when not solved
  ORI_layerProblem* problem = nullptr;   // kept for choosing other stackings; owned
  double check_seconds = 0.0;            // wall time of each part
  double form_seconds = 0.0;
  double layer_seconds = 0.0;            // building the conditions and solving
};

// Analyses om (a built, numbered mesh, as after preparing it for folding):
// the checks of every inner vertex, the folded form and, when every inner
// vertex passes and the form closes, the layer order with opt (otherwise
// layers.status is kOriLayerNotFlat and layers.reason names the first
// failing vertex or the tear; a pattern without a valid stacking is an
// answer, not a failure). Replaces what st held. Fails (st cleared) with
// kOriFailEmpty for a mesh without faces, kOriFailArgument for one not
// numbered. The layer order keeps within opt.time_limit seconds, building
// and solving together.
ORI_result oriFlatAnalyse(const ORI_manifold* om, const ORI_layerOptions& opt, ORI_flatState* st);

// Sets stacking `state` (1-based) of the analysed layer order; see
// oriLayerChoose. Returns st->layers.status.
int oriFlatChooseState(ORI_flatState* st, long long state, double time_limit);

// Frees the problem and empties st.
void oriFlatStateClear(ORI_flatState* st);

// Writes the FOLD document of the flat state to fp (opened by the caller,
// not closed): frame 0 the crease pattern exactly as the folding recording
// writes it (files/fold_export.h: same vertex, edge and face numbers), then
// the folded form (file units) with the chosen stacking's faceOrders when
// there is one. Returns 0, or -1 when a write failed or om is not the mesh
// st was analysed from.
int oriFlatWriteFold(const ORI_flatState& st, const ORI_manifold* om, FILE* fp);

// The same into the file path, written aside and renamed into place. Fails
// (path untouched) with kOriFailWrite naming path and the system's reason,
// or kOriFailArgument when om is not the mesh st was analysed from.
ORI_result oriFlatSaveFold(const ORI_flatState& st, const ORI_manifold* om, const char* path);
