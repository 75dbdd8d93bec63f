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
         "                 compliant_kept=K; --fold-out frames carry edges_plicata:strain)\n"
         "  --stiffness F,B,A  the compliant model's fold, facet (bending) and axial\n"
         "                 stiffness, positive numbers (default 1,10,1e4): folds and facets\n"
         "                 per unit of line length, bars as modulus x section\n";
}

std::string compliantSetSolver(ORI_foldOptions* options, const char* value) {
  if (std::strcmp(value, "rigid") != 0 && std::strcmp(value, "compliant") != 0) {
    return std::string("--solver takes rigid or compliant: ") + value;
  }
  options->solver = value[0] == 'c' ? kOriSolverCompliant : kOriSolverRigid;
  return "";
}

std::string compliantSetStiffness(ORI_foldOptions* options, const char* value, bool* given) {
  *given = true;
  double v[3];
  const char* p = value;
  for (int i = 0; i < 3; ++i) {
    char* end = nullptr;
    v[i] = std::strtod(p, &end);
    if (end == p || *end != (i < 2 ? ',' : '\0')) {
      return std::string("--stiffness needs three numbers FOLD,FACET,AXIAL: ") + value;
    }
    p = end + 1;
  }
  const ORISIM_stiffness k{v[0], v[1], v[2]};
  std::string why;
  if (!oriSimStiffnessCheck(k, &why)) return "--" + why;
  options->stiffness = k;
  return "";
}

std::string compliantCheck(const ORI_foldOptions& options, bool stiffness_given, bool along_mode) {
  if (stiffness_given && options.solver != kOriSolverCompliant) {
    return "--stiffness sets the compliant solver: add --solver compliant";
  }
  if (options.exact && options.solver == kOriSolverCompliant) {
    return "--exact closes the rigid solver's steps: it does not go with --solver compliant";
  }
  if (options.contact && options.solver == kOriSolverCompliant) {
    return "--contact stops the rigid solver's faces: it does not go with --solver compliant";
  }
  if (along_mode && options.solver == kOriSolverCompliant) {
    return "--mode folds along a rigid fold mode: it does not go with --solver compliant";
  }
  return "";
}

void compliantReport(const ORI_sheetStep& step) {
  const ORISIM_compliantStats& st = step.compliant;
  if (st.status == kOriCompliantConverged) return;
  std::fprintf(stderr, "plicata-fold: step %ld: the compliant solver stopped (%s) after %d iterations: the last shape is kept\n",
               step.record.step, oriSimCompliantStatusName(st.status), st.newton_iterations);
}
