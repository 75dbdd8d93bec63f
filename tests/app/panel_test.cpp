// The control panel without a window: the controls menuBuild makes, their
// live variables, limits and callbacks, operated as a user would; and the
// toolkit's own rules (text capacity, layout text, docking).
#include "app/panel_controls.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/file_open.h"
#include "app/glui.h"
#include "render/view_state.h"

namespace {

std::vector<int> reported;
void record(int id) { reported.push_back(id); }

// Builds the panel on a fresh GLUI with fresh state records, and puts the
// globals back afterwards.
class Panel : public testing::Test {
 protected:
  void SetUp() override {
    saved_app_ = the;
    saved_gl_ = theGL;
    reported.clear();
    menuBuild(&glui_, record);
  }
  void TearDown() override {
    the = saved_app_;
    theGL = saved_gl_;
    theGLUI = theGLUIstruct{};
  }
  GLUI_Control* find(GLUI_Kind kind, const std::string& name) {
    for (const auto& c : glui_.controls()) {
      if (c->kind() == kind && c->name() == name) return c.get();
    }
    ADD_FAILURE() << "no control " << name;
    return nullptr;
  }

  GLUI glui_;
  the_struct saved_app_;
  theGLstruct saved_gl_;
};

}  // namespace

TEST_F(Panel, ControlsComeInTheirOrderWithTheirLabels) {
  std::vector<std::pair<GLUI_Kind, std::string>> got;
  for (const auto& c : glui_.controls()) {
    if (c->kind() != GLUI_Kind::kColumn && c->kind() != GLUI_Kind::kPanel && c->kind() != GLUI_Kind::kRadioGroup) {
      got.emplace_back(c->kind(), c->name());
    }
  }
  using K = GLUI_Kind;
  const std::vector<std::pair<GLUI_Kind, std::string>> want = {
      {K::kRollout, "View Mode"},       {K::kRadioButton, "Object"},
      {K::kRadioButton, "Walk"},        {K::kRadioButton, "CP"},
      {K::kRadioButton, "Folded form"},
      {K::kCheckbox, "Colour"},
      {K::kCheckbox, "Draw Face"},      {K::kCheckbox, "Draw Edge"},
      {K::kCheckbox, "Crease"},         {K::kCheckbox, "Closure"},
      {K::kCheckbox, "Strain"},         {K::kSpinner, "line width"},      {K::kButton, "Fit"},
      {K::kRollout, "Orientation Edit Mode"}, {K::kRadioButton, "None"},
      {K::kRadioButton, "XY by Facet"}, {K::kRadioButton, "XY by 3 Vert (Axial)"},
      {K::kRollout, "Fold Simulation"}, {K::kSpinner, "fold step"},
      {K::kSpinner, "fold to %"},       {K::kCheckbox, "Exact"},
      {K::kCheckbox, "Contact"},        {K::kRadioButton, "Rigid"},
      {K::kRadioButton, "Compliant"},   {K::kSpinner, "thickness /1000"},
      {K::kSpinner, "mode"},
      {K::kButton, "<<"},               {K::kButton, ">>"},
      {K::kButton, "Save"},             {K::kCheckbox, "Mdl"},
      {K::kCheckbox, "Scr"},            {K::kEditText, "SaveDir"},
      {K::kButton, "File Open"},        {K::kButton, "Next File"},
      {K::kSeparator, ""},              {K::kButton, "Clear Fold"},
  };
  got.resize(want.size());  // the Status and Files rollouts, "Help" and "Quit" follow
  EXPECT_EQ(got, want);
  // The line width spinner sits in the rollout below the two columns, with "Fit".
  EXPECT_EQ(find(K::kSpinner, "line width")->parent()->parent(), theGLUI.view_rollout);
  EXPECT_EQ(find(K::kButton, "Fit")->parent(), find(K::kSpinner, "line width")->parent());
  EXPECT_EQ(theGLUI.draw_face_check->parent(), theGLUI.view_mode_radio->parent());
  EXPECT_TRUE(theGLUI.view_rollout->is_open() && theGLUI.orient_rollout->is_open() && theGLUI.fold_rollout->is_open());
}

TEST_F(Panel, ControlsShowAndChangeTheirFields) {
  EXPECT_EQ(theGLUI.fold_step_spinner->get_int_val(), 10);
  EXPECT_STREQ(find(GLUI_Kind::kEditText, "SaveDir")->get_text(), "./save");

  find(GLUI_Kind::kCheckbox, "Mdl")->user_set_int_val(1);
  theGLUI.save_screen_check->user_set_int_val(1);
  theGLUI.crease_check->user_set_int_val(1);
  theGLUI.orient_mode_radio->user_set_int_val(2);
  find(GLUI_Kind::kEditText, "SaveDir")->user_set_text("/tmp/frames");
  EXPECT_EQ(the.save_model, 1);
  EXPECT_EQ(the.save_screen, 1);
  EXPECT_EQ(theGL.draw_crease, 1);
  EXPECT_EQ(theGL.orient_mode, 2);
  EXPECT_STREQ(the.save_dir, "/tmp/frames");
  glui_.run_callbacks();
  EXPECT_TRUE(reported.empty()) << "these controls report to nobody";
}

TEST_F(Panel, SpinnersStayWithinTheirLimits) {
  GLUI_Spinner* fold = theGLUI.fold_step_spinner;
  GLUI_Spinner* line = theGLUI.line_width_spinner;
  fold->user_set_int_val(99);
  EXPECT_EQ(the.fold_step, 50);
  fold->user_set_int_val(-3);
  EXPECT_EQ(the.fold_step, 0);
  line->user_set_int_val(9);
  EXPECT_EQ(theGL.line_width, 5);
  line->user_set_int_val(0);
  EXPECT_EQ(theGL.line_width, 1);
  line->set_int_val(7);  // a program's own setting is limited as well
  EXPECT_EQ(theGL.line_width, 5);
}

TEST_F(Panel, ButtonsAndTheViewGroupReportTheirIds) {
  for (const char* name : {"<<", ">>", "Clear Fold", "Save", "File Open", "Next File"}) {
    find(GLUI_Kind::kButton, name)->user_press();
  }
  theGLUI.view_mode_radio->user_set_int_val(2);
  EXPECT_EQ(theGL.view_mode, 2) << "the live variable is set before the callback runs";
  glui_.run_callbacks();
  EXPECT_EQ(reported, (std::vector<int>{kMenuStepBack, kMenuStepForward, kMenuClearFold, kMenuSave, kMenuFileOpen,
                                        kMenuNextFile, kMenuViewMode}));
  glui_.run_callbacks();
  EXPECT_EQ(reported.size(), 7u) << "each callback runs once";
}

TEST_F(Panel, ViewGroupDrawsTheCreasePatternOnlyForCP) {
  for (int mode : {2, 0, 2, 1}) {
    theGLUI.view_mode_radio->user_set_int_val(mode);
    menuViewModeChanged();
    EXPECT_EQ(theGL.cp_mode, mode == 2 ? 1 : 0) << "view mode " << mode;
  }
}

TEST_F(Panel, SetIntValShowsAKeysChangeWithoutACallback) {
  theGL.view_mode = 2;  // a key changed the field
  EXPECT_EQ(theGLUI.view_mode_radio->get_int_val(), 0) << "the panel shows its own value until told";
  theGLUI.view_mode_radio->set_int_val(theGL.view_mode);
  EXPECT_EQ(theGLUI.view_mode_radio->get_int_val(), 2);
  EXPECT_FALSE(glui_.has_pending_callbacks());
}

TEST(Glui, TextFieldCutsTextToItsCapacity) {
  char live[GLUI_EDITTEXT_CAPACITY] = "start";
  GLUI glui;
  GLUI_EditText* t = glui.add_edittext("dir", GLUI_EDITTEXT_TEXT, live);
  const std::string longer(3000, 'x');
  t->user_set_text(longer.c_str());
  EXPECT_EQ(std::string(live), std::string(GLUI_EDITTEXT_CAPACITY - 1, 'x'));
}

TEST(Glui, FileBrowserListsPatternsStepsThroughFoldersAndChoosesFiles) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("plicata_browser_" + std::to_string(::getpid()));
  fs::create_directories(dir / "sub");
  for (const char* name : {"a.opx", "b.fold", "notes.txt", "x.cp.bak", ".hidden.opx"}) std::ofstream(dir / name) << "";
  GLUI glui;
  GLUI_FileBrowser* fb = glui.add_filebrowser_to_panel(glui.main_panel(), "Folder", 7, record);
  fb->set_file_filter(appIsPatternName);
  fb->fbreaddir(dir.c_str());
  auto names = [&] {
    std::vector<std::string> n;
    for (const auto& e : fb->entries()) n.push_back(e.name);
    return n;
  };
  EXPECT_EQ(names(), (std::vector<std::string>{"../", "sub/", "a.opx", "b.fold"}));
  fb->set_name_filter("FO");
  EXPECT_EQ(names(), (std::vector<std::string>{"../", "sub/", "b.fold"})) << "folders stay whatever the filter";
  fb->user_choose(1, GLUI_FILEBROWSER_PICK);
  EXPECT_EQ(fb->current_dir(), (dir / "sub").string());
  EXPECT_EQ(names(), (std::vector<std::string>{"../"}));
  fb->user_choose(0, GLUI_FILEBROWSER_PICK);
  EXPECT_EQ(fb->current_dir(), dir.string());
  reported.clear();
  fb->user_choose(2, GLUI_FILEBROWSER_SECOND);
  EXPECT_EQ(fb->get_file(), (dir / "b.fold").string());
  EXPECT_EQ(fb->get_action(), GLUI_FILEBROWSER_SECOND);
  glui.run_callbacks();
  EXPECT_EQ(reported, std::vector<int>{7}) << "folders report nothing, a chosen file reports once";
  fb->set_allow_change_dir(0);
  fb->set_name_filter("");
  EXPECT_EQ(names(), (std::vector<std::string>{"a.opx", "b.fold"}));
  fs::remove_all(dir);
}

TEST(Glui, RolloutsOpenAndClose) {
  GLUI glui;
  GLUI_Rollout* r = glui.add_rollout("R", 1);
  r->user_toggle();
  EXPECT_FALSE(r->is_open());
  r->user_toggle();
  EXPECT_TRUE(r->is_open());
}

TEST(Glui, LayoutTextNamesControlsPartsAndValues) {
  int v = 3;
  GLUI glui;
  glui.window_rect = GLUI_Rect{470, 0, 240, 500};
  GLUI_Spinner* s = glui.add_spinner_to_panel(glui.main_panel(), "fold step", GLUI_SPINNER_INT, &v);
  s->set_rect(kGluiPartWhole, GLUI_Rect{480, 10, 160, 19});
  s->set_rect(kGluiPartUp, GLUI_Rect{620, 10, 19, 19});
  glui.add_column_to_panel(glui.main_panel(), 1);
  EXPECT_EQ(glui.layout_text(),
            "window\t470\t0\t240\t500\t1\n"
            "spinner\tfold step\t480\t10\t160\t19\t3\n"
            "part\tfold step\tup\t620\t10\t19\t19\n");
}

TEST(Glui, PanelsDockAtTheRightWithinTheirWidths) {
  GLUI_Master_Object master;
  master.gluis.push_back(std::make_unique<GLUI>());
  GLUI* g = master.gluis.back().get();
  g->parent_window = 1;
  g->add_rollout("wide")->set_w(500);
  EXPECT_EQ(gluiPanelWidth(g), kGluiPanelMaxWidth);
  gluiDockPanels(&master, 1, 710, 500);
  EXPECT_EQ(g->window_rect.x, 710 - kGluiPanelMaxWidth);
  EXPECT_EQ(g->window_rect.h, 500);
  gluiDockPanels(&master, 1, 100, 500);  // a window narrower than the panel
  EXPECT_EQ(g->window_rect.x, 0);

  GLUI narrow;
  EXPECT_EQ(gluiPanelWidth(&narrow), kGluiPanelMinWidth);
}
