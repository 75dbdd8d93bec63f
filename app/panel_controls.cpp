#include "app/panel_controls.h"

#include <initializer_list>

#include "app/app_state.h"
#include "app/file_open.h"
#include "render/view_state.h"

theGLUIstruct theGLUI = {};

static_assert(sizeof(the.save_dir) == GLUI_EDITTEXT_CAPACITY, "the SaveDir field edits the whole save_dir buffer");
static_assert(sizeof(the.file_filter) == GLUI_EDITTEXT_CAPACITY, "the filter field edits the whole file_filter buffer");

namespace {

// Asked widths, pixels (the panel window caps them).
constexpr int kViewRolloutWidth = 500;
constexpr int kOrientRolloutWidth = 100;
constexpr int kFoldRolloutWidth = 100;
constexpr int kLineWidthSpinnerWidth = 1;
constexpr int kStepButtonWidth = 80;
constexpr int kSaveButtonWidth = 10;
constexpr int kFitButtonWidth = 10;
constexpr int kSaveDirWidth = 160;
// Heights of the file browsers' lists, pixels.
constexpr int kExamplesHeight = 80;
constexpr int kFolderHeight = 130;
// Units per click of a spinner's arrows.
constexpr float kSpinnerSpeed = 1.0f;

}  // namespace

void menuBuild(GLUI* glui, GLUI_Update_CB callback, const char* examples_dir) {
  theGLUI.glui = glui;

  theGLUI.view_rollout = glui->add_rollout("View Mode", 1);
  theGLUI.view_rollout->set_alignment(GLUI_ALIGN_CENTER);
  GLUI_Panel* view_panel = glui->add_panel_to_panel(theGLUI.view_rollout, "", GLUI_PANEL_NONE);
  theGLUI.view_mode_radio = glui->add_radiogroup_to_panel(view_panel, &theGL.view_mode, kMenuViewMode, callback);
  glui->add_radiobutton_to_group(theGLUI.view_mode_radio, "Object");
  glui->add_radiobutton_to_group(theGLUI.view_mode_radio, "Walk");
  glui->add_radiobutton_to_group(theGLUI.view_mode_radio, "CP");
  glui->add_radiobutton_to_group(theGLUI.view_mode_radio, "Folded form");
  // Under the cameras, so that the rollout grows by no row.
  theGLUI.colour_check = glui->add_checkbox_to_panel(view_panel, "Colour", &theGL.draw_colour, -1, nullptr);
  glui->add_column_to_panel(view_panel, 1);
  theGLUI.draw_face_check = glui->add_checkbox_to_panel(view_panel, "Draw Face", &theGL.draw_face, -1, nullptr);
  theGLUI.draw_edge_check = glui->add_checkbox_to_panel(view_panel, "Draw Edge", &theGL.draw_edge, -1, nullptr);
  theGLUI.crease_check = glui->add_checkbox_to_panel(view_panel, "Crease", &theGL.draw_crease, -1, nullptr);
  theGLUI.closure_check = glui->add_checkbox_to_panel(view_panel, "Closure", &theGL.draw_closure, -1, nullptr);
  // Under "Closure", beside "Colour": the rollout grows by no row.
  theGLUI.strain_check = glui->add_checkbox_to_panel(view_panel, "Strain", &theGL.draw_strain, -1, nullptr);
  GLUI_Panel* width_row = glui->add_panel_to_panel(theGLUI.view_rollout, "", GLUI_PANEL_NONE);
  theGLUI.line_width_spinner = glui->add_spinner_to_panel(width_row, "line width", GLUI_SPINNER_INT,
                                                          &theGL.line_width, -1, nullptr);
  theGLUI.line_width_spinner->set_int_limits(kMenuLineWidthMin, kMenuLineWidthMax, GLUI_LIMIT_CLAMP);
  theGLUI.line_width_spinner->set_speed(kSpinnerSpeed);
  theGLUI.line_width_spinner->set_w(kLineWidthSpinnerWidth);
  glui->add_column_to_panel(width_row, 0);
  glui->add_button_to_panel(width_row, "Fit", kMenuFit, callback)->set_w(kFitButtonWidth);

  theGLUI.orient_rollout = glui->add_rollout("Orientation Edit Mode", 1);
  theGLUI.orient_rollout->set_alignment(GLUI_ALIGN_CENTER);
  theGLUI.orient_mode_radio = glui->add_radiogroup_to_panel(theGLUI.orient_rollout, &theGL.orient_mode, -1, nullptr);
  glui->add_radiobutton_to_group(theGLUI.orient_mode_radio, "None");
  glui->add_radiobutton_to_group(theGLUI.orient_mode_radio, "XY by Facet");
  glui->add_radiobutton_to_group(theGLUI.orient_mode_radio, "XY by 3 Vert (Axial)");

  theGLUI.fold_rollout = glui->add_rollout("Fold Simulation", 1);
  theGLUI.fold_rollout->set_alignment(GLUI_ALIGN_CENTER);
  theGLUI.fold_step_spinner = glui->add_spinner_to_panel(theGLUI.fold_rollout, "fold step", GLUI_SPINNER_INT,
                                                         &the.fold_step, -1, nullptr);
  theGLUI.fold_step_spinner->set_int_limits(kMenuFoldStepMin, kMenuFoldStepMax, GLUI_LIMIT_CLAMP);
  theGLUI.fold_step_spinner->set_speed(kSpinnerSpeed);
  theGLUI.fold_to_spinner = glui->add_spinner_to_panel(theGLUI.fold_rollout, "fold to %", GLUI_SPINNER_INT,
                                                       &the.fold_to, kMenuFoldTo, callback);
  theGLUI.fold_to_spinner->set_int_limits(kMenuFoldToMin, kMenuFoldToMax, GLUI_LIMIT_CLAMP);
  theGLUI.fold_to_spinner->set_speed(kSpinnerSpeed);
  // "Exact" and "Contact" above each other, beside the solver: the panel
  // grows by one row only, so that it still ends with "Clear Fold" in the
  // window's first size.
  GLUI_Panel* mode_row = glui->add_panel_to_panel(theGLUI.fold_rollout, "", GLUI_PANEL_NONE);
  theGLUI.exact_check = glui->add_checkbox_to_panel(mode_row, "Exact", &the.exact, kMenuExact, callback);
  theGLUI.contact_check = glui->add_checkbox_to_panel(mode_row, "Contact", &the.contact, kMenuContact, callback);
  glui->add_column_to_panel(mode_row, 0);
  theGLUI.solver_radio = glui->add_radiogroup_to_panel(mode_row, &the.solver, kMenuSolver, callback);
  glui->add_radiobutton_to_group(theGLUI.solver_radio, "Rigid");
  glui->add_radiobutton_to_group(theGLUI.solver_radio, "Compliant");
  theGLUI.thickness_spinner = glui->add_spinner_to_panel(theGLUI.fold_rollout, "thickness /1000", GLUI_SPINNER_INT,
                                                         &the.thickness, kMenuThickness, callback);
  theGLUI.thickness_spinner->set_int_limits(kMenuThicknessMin, kMenuThicknessMax, GLUI_LIMIT_CLAMP);
  theGLUI.thickness_spinner->set_speed(kSpinnerSpeed);
  // 0 folds towards the targets; K along the K-th fold mode of the shape.
  theGLUI.mode_spinner =
      glui->add_spinner_to_panel(theGLUI.fold_rollout, "mode", GLUI_SPINNER_INT, &the.mode, kMenuMode, callback);
  theGLUI.mode_spinner->set_int_limits(kMenuModeMin, kMenuModeMax, GLUI_LIMIT_CLAMP);
  theGLUI.mode_spinner->set_speed(kSpinnerSpeed);

  theGLUI.step_panel = glui->add_panel("", GLUI_PANEL_NONE);
  glui->add_button_to_panel(theGLUI.step_panel, "<<", kMenuStepBack, callback)->set_w(kStepButtonWidth);
  glui->add_column_to_panel(theGLUI.step_panel, 0);
  glui->add_button_to_panel(theGLUI.step_panel, ">>", kMenuStepForward, callback)->set_w(kStepButtonWidth);

  GLUI_Panel* save_row = glui->add_panel("", GLUI_PANEL_NONE);
  glui->add_button_to_panel(save_row, "Save", kMenuSave, callback)->set_w(kSaveButtonWidth);
  glui->add_column_to_panel(save_row, 0);
  glui->add_checkbox_to_panel(save_row, "Mdl", &the.save_model, -1, nullptr);
  glui->add_column_to_panel(save_row, 0);
  theGLUI.save_screen_check = glui->add_checkbox_to_panel(save_row, "Scr", &the.save_screen, -1, nullptr);

  glui->add_edittext("SaveDir", GLUI_EDITTEXT_TEXT, the.save_dir, -1, nullptr)->set_w(kSaveDirWidth);
  // Side by side, so that "Clear Fold" stays in the window's first size.
  GLUI_Panel* file_row = glui->add_panel("", GLUI_PANEL_NONE);
  glui->add_button_to_panel(file_row, "File Open", kMenuFileOpen, callback);
  glui->add_column_to_panel(file_row, 0);
  glui->add_button_to_panel(file_row, "Next File", kMenuNextFile, callback);
  glui->add_separator();
  glui->add_button("Clear Fold", kMenuClearFold, callback)->set_alignment(GLUI_ALIGN_RIGHT);

  theGLUI.status_rollout = glui->add_rollout("Status", 0);
  static const char* const kStatusNames[kAppReadoutLines] = {
      "steps", "fold progress", "residual", "worst vertex", "farthest fold", "last step", "intersecting pairs",
      "exact kept back", "largest strain", "compliant kept back", "contact", "degrees of freedom"};
  for (int i = 0; i < kAppReadoutLines; ++i) {
    theGLUI.status_text[i] = glui->add_statictext_to_panel(theGLUI.status_rollout, kStatusNames[i]);
  }
  glui->add_button_to_panel(theGLUI.status_rollout, "Count", kMenuCountDof, callback)->set_alignment(GLUI_ALIGN_RIGHT);

  theGLUI.files_rollout = glui->add_rollout("Files", 0);
  glui->add_checkbox_to_panel(theGLUI.files_rollout, "triangulate", &the.triangulate, -1, nullptr);
  glui->add_edittext_to_panel(theGLUI.files_rollout, "filter", GLUI_EDITTEXT_TEXT, the.file_filter, kMenuFileFilter,
                              callback);
  theGLUI.examples_browser = glui->add_filebrowser_to_panel(theGLUI.files_rollout, "Examples", kMenuExampleChosen,
                                                            callback);
  theGLUI.examples_browser->set_allow_change_dir(0);
  theGLUI.examples_browser->set_h(kExamplesHeight);
  theGLUI.folder_browser = glui->add_filebrowser_to_panel(theGLUI.files_rollout, "Folder", kMenuFolderChosen, callback);
  theGLUI.folder_browser->set_h(kFolderHeight);
  for (GLUI_FileBrowser* b : {theGLUI.examples_browser, theGLUI.folder_browser}) {
    b->set_file_filter(appIsPatternName);
    b->set_second_button(kMenuNextLabel);
    b->set_name_filter(the.file_filter);
  }
  if (examples_dir != nullptr && examples_dir[0] != '\0') theGLUI.examples_browser->fbreaddir(examples_dir);
  theGLUI.folder_browser->fbreaddir(".");
  theGLUI.files_message = glui->add_statictext_to_panel(theGLUI.files_rollout, "");

  GLUI_Panel* last_row = glui->add_panel("", GLUI_PANEL_NONE);
  glui->add_button_to_panel(last_row, "Help", kMenuHelp, callback);
  glui->add_column_to_panel(last_row, 0);
  glui->add_button_to_panel(last_row, "Quit", kMenuQuit, callback);

  theGLUI.view_rollout->set_w(kViewRolloutWidth);
  theGLUI.fold_rollout->set_w(kFoldRolloutWidth);
  theGLUI.orient_rollout->set_w(kOrientRolloutWidth);
}

void menuViewModeChanged() { theGL.cp_mode = theGL.view_mode == 2 ? 1 : 0; }
