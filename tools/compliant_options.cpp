#include "tools/compliant_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* compliantUsage() {
  return "\n"
         "Compliant folding (a bar-and-hinge model: the facets may bend and stretch a little):\n"
         "  --solver S     rigid (the default: rigid facets, the sheet closed round every\n"
         "                 vertex) or compliant (each step moves the folds' rest angles and\n"
         "                 finds the sheet's equilibrium; a step that does not converge keeps\n"
         "                 the last shape and says so; the last line then ends with\n"
         "                 compliant_kept=K)\n"
         "  --stiffness F,B,A  the compliant model's fold, facet (bending) and axial\n"
         "                 stiffness, positive numbers (default 1,100,1e6): folds and facets\n"
         "                 per unit of line length, bars as modulus x section\n";
}

namespace {

// Three comma-separated numbers; the ones that are not numbers are named.
bool parseStiffness(const char* text, ORISIM_stiffness* k, std::string* error) {
  double v[3];
  const char* p = text;
  for (int i = 0; i < 3; ++i) {
    char* end = nullptr;
    v[i] = std::strtod(p, &end);
    const char expected = i < 2 ? ',' : '\0';
    if (end == p || *end != expected) {
      *error = std::string("--stiffness needs three numbers FOLD,FACET,AXIAL: ") + text;
      return false;
    }
    p = end + 1;
  }
  ORISIM_stiffness parsed{v[0], v[1], v[2]};
  std::string why;
  if (!oriSimStiffnessCheck(parsed, &why)) {
    *error = "--" + why;
    return false;
  }
  *k = parsed;
  return true;
}

}  // namespace

int compliantParseOption(int argc, char** argv, int* i, CompliantOptions* opt, std::string* error) {
  const char* a = argv[*i];
  const bool solver = std::strcmp(a, "--solver") == 0;
  if (!solver && std::strcmp(a, "--stiffness") != 0) return 0;
  if (*i + 1 >= argc) {
    *error = std::string(a) + " needs a value";
    return -1;
  }
  const char* v = argv[++*i];
  if (solver) {
    if (std::strcmp(v, "rigid") != 0 && std::strcmp(v, "compliant") != 0) {
      *error = std::string("--solver takes rigid or compliant: ") + v;
      return -1;
    }
    opt->compliant = v[0] == 'c';
    return 1;
  }
  opt->stiffness_given = true;
  return parseStiffness(v, &opt->stiffness, error) ? 1 : -1;
}

bool compliantCheck(const CompliantOptions& opt, bool exact, std::string* error) {
  if (opt.stiffness_given && !opt.compliant) {
    *error = "--stiffness sets the compliant solver: add --solver compliant";
    return false;
  }
  if (exact && opt.compliant) {
    *error = "--exact closes the rigid solver's steps: it does not go with --solver compliant";
    return false;
  }
  return true;
}

bool compliantBegin(const CompliantOptions& opt, CompliantRun* run, ORI_manifold* om, const char* pattern) {
  oriSimCompliantDelete(run->cs);
  run->cs = nullptr;
  if (!opt.compliant) return true;
  ORISIM_compliantOptions options;
  options.stiffness = opt.stiffness;
  std::string why;
  run->cs = oriSimCompliantNew(om, options, &why);
  if (run->cs == nullptr) std::fprintf(stderr, "plicata-fold: %s: %s\n", pattern, why.c_str());
  return run->cs != nullptr;
}

int compliantFoldStep(CompliantRun* run, ORISIM_matrix* osm, ORI_manifold* om, double size, int* frame_no,
                      const ORI_frameRecorder* rec, double* max_delta, long step) {
  ORISIM_compliantStats st;
  const int result = oriSimCompliantFoldStep(run->cs, osm, om, size, frame_no, rec, max_delta, &st);
  if (st.status != kOriCompliantConverged) {
    ++run->kept;
    std::fprintf(stderr, "plicata-fold: step %ld: the compliant solver stopped (%s) after %d iterations: the last shape is kept\n",
                 step, oriSimCompliantStatusName(st.status), st.newton_iterations);
  }
  return result;
}

void compliantSummary(const CompliantRun& run) {
  if (run.cs != nullptr) std::printf(" compliant_kept=%ld", run.kept);
}
