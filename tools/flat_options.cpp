#include "tools/flat_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "flat/flat_state.h"
#include "geometry/manifold.h"
#include "sheet/sheet.h"

namespace {

// A whole number from lo to hi in decimal, nothing else.
bool parseCount(const char* s, long long lo, long long hi, long long* out) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s, &end, 10);
  if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

}  // namespace

const char* flatOptionsUsage() {
  return "\n"
         "The flat-folded state (of the pattern opened last; each mountain and valley folded\n"
         "to 180 degrees, flat lines and the triangulation's diagonals staying flat). These\n"
         "lines come before the summary line, which stays last:\n"
         "  --check        Kawasaki (within 0.001 degrees) and Maekawa at every inner vertex,\n"
         "                 with the pattern's own mountains and valleys; one line per failing\n"
         "                 vertex\n"
         "                   vertex I x=X y=Y kawasaki=D maekawa=ok|bad\n"
         "                 (I the FOLD files' vertex number, X Y its place in the pattern's\n"
         "                 units with y up as --fold-out writes it, D the alternating sum of\n"
         "                 the angles between its folds in degrees, or odd for an odd number\n"
         "                 of folds), then\n"
         "                   flat-foldable locally: yes|no (K of N inner vertices fail)\n"
         "  --folded-form FILE  write a FOLD file: frame 0 the crease pattern exactly as\n"
         "                 --fold-out writes it, then the folded form (frame class foldedForm)\n"
         "                 with faceOrders of the chosen stacking of its layers\n"
         "  --layer-state K  choose the K-th valid stacking of the layers (default 1)\n"
         "                 With --folded-form or --layer-state the layers are ordered, and\n"
         "                   layer_states=N\n"
         "                 gives the number of valid stackings, counted up to 1000000 within a\n"
         "                 time limit of 10 s (layer_states>=N when counting stopped there);\n"
         "                 when there is none, layer_states=0 is followed by\n"
         "                   no valid stacking: REASON\n"
         "                 and when the time ran out first, layer_states=unknown by\n"
         "                   no valid stacking found: REASON\n"
         "  --view folded  (with --png, --gif or --mp4) pictures of the folded form seen from\n"
         "                 above, the top layer showing where layers stack\n";
}

int flatOptionsParse(int argc, char** argv, int* i, FlatOptions* opt, std::string* error) {
  const char* a = argv[*i];
  if (std::strcmp(a, "--check") == 0) {
    opt->check = true;
    return 1;
  }
  const bool form = std::strcmp(a, "--folded-form") == 0;
  if (!form && std::strcmp(a, "--layer-state") != 0) return 0;
  if (*i + 1 >= argc) {
    *error = std::string(a) + " needs a value";
    return -1;
  }
  const char* v = argv[++*i];
  if (form) {
    if (*v == '\0') {
      *error = "--folded-form needs a file name";
      return -1;
    }
    opt->folded_form = v;
  } else {
    if (!parseCount(v, 1, kOriLayerStateCap, &opt->layer_state)) {
      *error = "--layer-state needs a whole number from 1 to " + std::to_string(kOriLayerStateCap) + ": " + v;
      return -1;
    }
    opt->layer_state_given = true;
  }
  return 1;
}

int flatOptionsRun(const FlatOptions& opt, ORI_sheet* sheet) {
  if (!opt.requested()) return 0;
  const bool layers = !opt.folded_form.empty() || opt.layer_state_given;
  ORI_layerOptions lo;
  lo.order_layers = layers;
  lo.state = opt.layer_state;
  const ORI_flatState* flat = nullptr;
  const ORI_result analysed = oriSheetFlatState(sheet, lo, &flat);
  if (oriFailed(analysed)) {
    std::fprintf(stderr, "plicata-fold: %s\n", oriResultText(analysed).c_str());
    return 1;
  }
  const ORI_flatState& st = *flat;
  std::fflush(stdout);
  if (opt.check) {
    for (const ORI_flatVertex& v : st.check.vertices) {
      if (v.ok()) continue;
      std::printf("vertex %d x=%.4f y=%.4f kawasaki=", v.vertex, v.x, v.y);
      if (std::isnan(v.kawasaki_deg)) {
        std::printf("odd");
      } else {
        std::printf("%.4f", v.kawasaki_deg);
      }
      std::printf(" maekawa=%s\n", v.maekawa_ok ? "ok" : "bad");
    }
    std::printf("flat-foldable locally: %s (%d of %d inner vertices fail)\n", st.check.n_fail == 0 ? "yes" : "no",
                st.check.n_fail, st.check.n_inner);
  }
  int status = 0;
  if (layers) {
    const ORI_layerOrder& L = st.layers;
    std::fprintf(stderr,
                 "plicata-fold: layer order: %d facets, %d overlapping pairs, %d folds, %d taco-taco, %d "
                 "taco-tortilla, %d transitivity conditions, %d pairs forced, %d components, %lld choices, %.3f s\n",
                 L.n_facets, L.n_pairs, L.n_folds, L.n_taco_taco, L.n_taco_tortilla, L.n_transitivity, L.n_forced,
                 L.n_components, L.search_nodes, st.layer_seconds);
    if (L.status == kOriLayerFound || L.status == kOriLayerNoSuchState) {
      std::printf("layer_states%s%lld\n", L.n_states_exact ? "=" : ">=", L.n_states);
    } else if (L.status == kOriLayerOutOfTime) {
      std::printf("layer_states=unknown\nno valid stacking found: %s\n", L.reason.c_str());
    } else {
      std::printf("layer_states=0\nno valid stacking: %s\n", L.reason.c_str());
    }
    if (L.status == kOriLayerNoSuchState) {
      std::fprintf(stderr, "plicata-fold: --layer-state %lld: %s\n", opt.layer_state, L.reason.c_str());
      status = 1;
    } else if (L.status == kOriLayerFound && !L.reason.empty()) {
      std::fprintf(stderr, "plicata-fold: layer order: %s\n", L.reason.c_str());
    }
  }
  if (status == 0 && !opt.folded_form.empty()) {
    const ORI_result saved = oriFlatSaveFold(st, oriSheetManifold(sheet), opt.folded_form.c_str());
    if (oriFailed(saved)) {
      std::fprintf(stderr, "plicata-fold: %s\n", oriResultText(saved).c_str());
      status = 1;
    }
  }
  return status;
}
