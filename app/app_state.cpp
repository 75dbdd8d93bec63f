#include "app/app_state.h"

the_struct the = {
    nullptr,   // sheet
    0,         // main_window
    0,         // sub_window
    0,         // file_loaded
    1,         // show_request
    0,         // save_screen
    0,         // save_model
    0,         // open_request
    0,         // next_request
    0,         // axis_pick_count
    10,        // fold_step
    "./save",  // save_dir
    100,       // fold_to
    0,         // exact
    0,         // contact
    0,         // thickness
    kOriSolverRigid,  // solver
    1,         // triangulate
    0,         // show_help
    "",        // file_filter
    0,         // mode
};

namespace {

// The panel's thickness counts thousandths of the paper: from a sheet of
// paper (0) to a quarter of it, the most the sheet accepts, in steps fine
// enough for any paper.
constexpr double kAppThicknessPerPaper = 1000.0;
// The paper size a reader gives a pattern that names none, file units.
constexpr double kAppDefaultPaperSize = 400.0;

}  // namespace

ORI_sheet* appSheet() {
  if (the.sheet == nullptr) {
    const ORI_foldOptions options = appFoldOptions();
    the.sheet = oriSheetNew(&options);
  }
  return the.sheet;
}

ORI_manifold* appManifold() { return the.sheet != nullptr ? oriSheetManifold(the.sheet) : nullptr; }

ORISIM_matrix* appSim() { return the.sheet != nullptr ? oriSheetSim(the.sheet) : nullptr; }

void appSheetDelete() {
  oriSheetDelete(the.sheet);
  the.sheet = nullptr;
}

ORI_foldOptions appFoldOptions() {
  ORI_foldOptions options = the.sheet != nullptr ? oriSheetOptions(the.sheet) : ORI_foldOptions();
  options.fold_step = the.fold_step;
  options.fold_to = the.fold_to / 100.0;
  options.solver = the.solver == kOriSolverCompliant ? kOriSolverCompliant : kOriSolverRigid;
  // Exact closure, contact and the fold modes belong to the rigid solver:
  // with the compliant one chosen they stay set on the panel but do not apply.
  const bool rigid = options.solver == kOriSolverRigid;
  options.exact = the.exact != 0 && rigid;
  options.contact = the.contact != 0 && rigid;
  const double paper = the.sheet != nullptr && oriSheetPaperSize(the.sheet) > 0.0 ? oriSheetPaperSize(the.sheet)
                                                                                   : kAppDefaultPaperSize;
  options.thickness = the.thickness * paper / kAppThicknessPerPaper;
  options.mode = rigid ? the.mode : 0;
  return options;
}

ORI_result appApplyFoldOptions() { return oriSheetSetOptions(appSheet(), appFoldOptions()); }
